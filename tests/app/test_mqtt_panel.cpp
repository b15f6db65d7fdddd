// Publishing from the program: the settings in KOV.ini (the password not in
// clear), the dialog behind Options > Publish to MQTT..., and the main window
// against a real mosquitto started here: the identity and every distance
// measured arrive, and the status bar panel follows the broker.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include "AppHarness.h"
#include "MosquittoProcess.h"
#include "MqttPanel.h"
#include "modGlobals.h"

using namespace apptest;

class MqttPanelTest : public QObject {
    Q_OBJECT

private slots:
    void init() { modFunctions::SetLanguageOffset(0); }

    void settingsKeepThePasswordOutOfClearText() {
        Harness h;
        MqttProgramSettings s;
        s.Publish = true;
        s.Broker = "mqtts://[::1]:8884";
        std::string error;
        QVERIFY(mqtt::ParseBrokerAddress(s.Broker, &s.Mqtt, &error));
        s.Mqtt.Prefix = "plant/hall1";
        s.Mqtt.User = "kov";
        s.Mqtt.Password = "s3cret=;\"ä";
        s.Mqtt.Qos = 1;
        s.Mqtt.TlsCaFile = "/etc/ca.crt";
        s.Mqtt.QueueLimit = 500;
        QVERIFY(MqttIni::Save(modGlobals::Settings, s));
        QFile file(QString::fromStdString(modGlobals::SettingsFile));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(!text.contains("s3cret"), text.constData());
        const MqttProgramSettings back = MqttIni::Load(modGlobals::Settings);
        QCOMPARE(back.Publish, true);
        QCOMPARE(back.Mqtt.Address(), std::string("mqtts://[::1]:8884"));
        QCOMPARE(back.Mqtt.Prefix, s.Mqtt.Prefix);
        QCOMPARE(back.Mqtt.User, s.Mqtt.User);
        QCOMPARE(back.Mqtt.Password, s.Mqtt.Password);
        QCOMPARE(back.Mqtt.Qos, 1);
        QCOMPARE(back.Mqtt.TlsCaFile, s.Mqtt.TlsCaFile);
        QCOMPARE(back.Mqtt.QueueLimit, std::size_t(500));
        // A password typed into the file by hand is taken as it is.
        QCOMPARE(MqttIni::Reveal("plain"), std::string("plain"));
    }

    void publishesWhatTheWindowMeasuresAndShowsTheBrokerState() {
        QTemporaryDir dir;
        testsupport::MosquittoBroker broker(dir.path().toStdString());
        QVERIFY2(broker.Start(), broker.Log().c_str());
        testsupport::MqttSubscriber sub(broker.port, "ora2orb2/#");
        QVERIFY(sub.WaitSubscribed());

        Harness h;
        auto* entry = h.child<QAction>("mnuOptionMqtt");
        QVERIFY(entry && entry->isEnabled());
        QCOMPARE(entry->text(), Text(MqttText::MenuEntry));
        auto* panel = h.child<QLabel>("sbarPanelMqtt");
        QVERIFY(panel);
        QCOMPARE(panel->text(), Text(MqttText::Off));

        // The dialog: a bad address keeps it open and says why; a good one is taken.
        QString error;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->findChild<QCheckBox*>("chkPublish")->setChecked(true);
            auto* broker = dialog->findChild<QLineEdit*>("txtBroker");
            auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            broker->setText("127.0.0.1");
            ok->click();
            error = dialog->findChild<QLabel*>("lblError")->text();
            broker->setText(QString::fromStdString(brokerUrl));
            ok->click();
        });
        brokerUrl = broker.Url();
        entry->trigger();
        QVERIFY2(error.contains("mqtt://"), qPrintable(error));
        QCOMPARE(MqttIni::Load(modGlobals::Settings).Broker, brokerUrl);

        QVERIFY(h.Connect());
        auto until = [&](const std::function<bool()>& done) {
            for (int i = 0; i < 1000; ++i) {
                h.Tick();
                if (done()) return true;
                QTest::qWait(5);  // the network thread works in real time
            }
            return false;
        };
        QVERIFY(until([&] { return panel->text() == Text(MqttText::Connected); }));
        QVERIFY(until([&] { return !sub.Payloads("/info").empty(); }));
        QVERIFY(sub.Payloads("/info").front().find("\"serial_no\":\"") != std::string::npos);

        h.child<QPushButton>("cmdStart")->click();
        QVERIFY(until([&] { return sub.Payloads("/distance").size() >= 5; }));
        QVERIFY(sub.Payloads("/distance").front().find("\"state\":\"ok\"") != std::string::npos);

        broker.Stop();
        QVERIFY(until([&] { return panel->text().startsWith(Text(MqttText::Reconnecting)); }));
        QVERIFY(h.link().CommStatus == 2);  // the measurement goes on
    }

private:
    std::string brokerUrl;
};

QTEST_MAIN(MqttPanelTest)
#include "test_mqtt_panel.moc"
