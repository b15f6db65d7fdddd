#include "MqttPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "MonitorLoop.h"
#include "MqttFeed.h"
#include "MqttPublisher.h"
#include "clsIni.h"
#include "clsKOV.h"
#include "modLanguage.h"

using modLanguage::Text;

namespace MqttIni {
namespace {

constexpr char ObscuredMark = '~';
constexpr const char* ObscureKey = "ORA2ORB2 KOV.ini";

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Mix(const std::string& bytes) {
    const std::string key = ObscureKey;
    std::string out = bytes;
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(out[i] ^ key[i % key.size()]);
    return out;
}

}  // namespace

std::string Obscure(const std::string& password) {
    return password.empty() ? std::string() : ObscuredMark + Hex(Mix(password));
}

std::string Reveal(const std::string& stored) {
    // A password typed into the file by hand is taken as it is.
    if (stored.empty() || stored[0] != ObscuredMark || stored.size() % 2 == 0) return stored;
    std::string bytes;
    for (std::size_t i = 1; i + 1 < stored.size(); i += 2) {
        const int hi = HexDigit(stored[i]), lo = HexDigit(stored[i + 1]);
        if (hi < 0 || lo < 0) return stored;
        bytes += static_cast<char>(hi * 16 + lo);
    }
    return Mix(bytes);
}

MqttProgramSettings Load(const clsIni& ini) {
    MqttProgramSettings s;
    s.Publish = ini.GetSetting(Section, "Publish", 0) != 0;
    s.Broker = ini.GetSetting(Section, "Broker", "");
    std::string ignored;
    if (!s.Broker.empty() && !mqtt::ParseBrokerAddress(s.Broker, &s.Mqtt, &ignored)) s.Publish = false;
    const std::string prefix = ini.GetSetting(Section, "Topic", mqtt::DefaultPrefix);
    if (!mqtt::ParsePrefix(prefix, &s.Mqtt.Prefix, &ignored)) s.Mqtt.Prefix = mqtt::DefaultPrefix;
    s.Mqtt.User = ini.GetSetting(Section, "User", "");
    s.Mqtt.Password = Reveal(ini.GetSetting(Section, "Password", ""));
    s.Mqtt.Qos = ini.GetSetting(Section, "QoS", 0) == 1 ? 1 : 0;
    s.Mqtt.TlsCaFile = ini.GetSetting(Section, "TlsCa", "");
    if (!s.Mqtt.TlsCaFile.empty()) s.Mqtt.Tls = true;
    const int queue = ini.GetSetting(Section, "Queue", static_cast<int>(mqtt::DefaultQueueLimit));
    s.Mqtt.QueueLimit = queue >= 1 && static_cast<std::size_t>(queue) <= mqtt::MaxQueueLimit
                            ? static_cast<std::size_t>(queue)
                            : mqtt::DefaultQueueLimit;
    return s;
}

bool Save(clsIni& ini, const MqttProgramSettings& s) {
    return ini.WriteSettings(Section, {{"Publish", s.Publish ? "1" : "0"},
                                       {"Broker", s.Broker},
                                       {"Topic", s.Mqtt.Prefix},
                                       {"User", s.Mqtt.User},
                                       {"Password", Obscure(s.Mqtt.Password)},
                                       {"QoS", std::to_string(s.Mqtt.Qos)},
                                       {"TlsCa", s.Mqtt.TlsCaFile},
                                       {"Queue", std::to_string(s.Mqtt.QueueLimit)}});
}

}  // namespace MqttIni

MqttPanel::MqttPanel(QMainWindow* window, QMenu* options, MonitorLoop& loop, clsIni& ini)
    : QObject(window), m_window(window), m_loop(loop), m_ini(ini) {
    m_settings = MqttIni::Load(ini);
    m_action = options->addAction(QString());
    m_action->setObjectName("mnuOptionMqtt");
    modLanguage::SetTag(m_action, MqttText::MenuEntry);
    connect(m_action, &QAction::triggered, this, &MqttPanel::ShowDialog);
    m_panel = new QLabel(window->statusBar());
    m_panel->setObjectName("sbarPanelMqtt");
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    window->statusBar()->addPermanentWidget(m_panel);
    if (!mqtt::Publisher::Built()) {
        // The Windows build has no client library: the entry says why it is grey.
        m_action->setEnabled(false);
        m_action->setProperty("ToolTipText", MqttText::NotBuilt);
        m_panel->hide();
    }
    m_tickId = m_loop.AddTickListener([this](clsKOV& link) { OnTick(link); });
    Refresh();
}

MqttPanel::~MqttPanel() {
    m_loop.RemoveTickListener(m_tickId);
    StopPublishing();
}

void MqttPanel::StopPublishing() {
    if (m_feed) m_feed->Detach();
    m_feed.reset();
    // Values still queued get a moment; "offline" goes out before the disconnect.
    if (m_publisher) m_publisher->Stop(1000);
    m_publisher.reset();
    m_serial.clear();
}

void MqttPanel::StartFor(const clsKOV& link) {
    StopPublishing();
    m_serial = link.SerialNo;
    auto publisher = std::make_unique<mqtt::Publisher>(m_settings.Mqtt);
    std::string error;
    if (!publisher->Start(link.SerialNo, mqtt::InfoPayload(link), &error)) {
        m_panel->setToolTip(QString::fromStdString(error));
        return;
    }
    m_publisher = std::move(publisher);
    m_feed = std::make_unique<mqtt::Feed>(*m_publisher);
    m_feed->Attach(m_loop, true);
}

void MqttPanel::OnTick(clsKOV& link) {
    if (m_settings.Publish && mqtt::Publisher::Built() && !link.SerialNo.empty() && link.SerialNo != m_serial)
        StartFor(link);
    Refresh();
}

void MqttPanel::Apply(const MqttProgramSettings& settings) {
    m_settings = settings;
    MqttIni::Save(m_ini, m_settings);
    StopPublishing();
    Refresh();  // the next tick starts publishing for the connected sensor
}

QString MqttPanel::PanelText() const {
    if (!m_settings.Publish) return Text(MqttText::Off);
    if (!m_publisher) return Text(MqttText::Connecting);
    int id = MqttText::Connecting;
    switch (m_publisher->State()) {
        case mqtt::BrokerState::Connected: id = MqttText::Connected; break;
        case mqtt::BrokerState::Reconnecting: id = MqttText::Reconnecting; break;
        case mqtt::BrokerState::Refused: id = MqttText::Refused; break;
        case mqtt::BrokerState::Off: id = MqttText::Off; break;
        case mqtt::BrokerState::Connecting: break;
    }
    QString text = Text(id);
    const std::uint64_t dropped = m_publisher->GetCounts().Dropped;
    if (dropped > 0) text += QStringLiteral(", %1 %2").arg(dropped).arg(Text(MqttText::Dropped));
    return text;
}

void MqttPanel::Refresh() {
    const QString text = PanelText();
    if (text != m_shown) {
        m_shown = text;
        m_panel->setText(text);
    }
    if (!m_publisher) return;
    const std::string problem = m_publisher->LastError();
    const QString tip = QString::fromStdString(m_publisher->Config().Address() + " " +
                                               m_publisher->TopicOf(mqtt::Topic::Distance) +
                                               (problem.empty() ? "" : "\n" + problem));
    if (tip != m_panel->toolTip()) m_panel->setToolTip(tip);
}

void MqttPanel::ShowDialog() {
    QDialog dialog(m_window);
    dialog.setObjectName("frmMqtt");
    modLanguage::SetTag(&dialog, MqttText::Title);
    auto label = [&dialog](const char* name, int id) {
        auto* l = new QLabel(&dialog);
        l->setObjectName(name);
        modLanguage::SetTag(l, id);
        return l;
    };
    auto* chkPublish = new QCheckBox(&dialog);
    chkPublish->setObjectName("chkPublish");
    modLanguage::SetTag(chkPublish, MqttText::Publish);
    chkPublish->setChecked(m_settings.Publish);
    auto* txtBroker = new QLineEdit(QString::fromStdString(m_settings.Broker), &dialog);
    txtBroker->setObjectName("txtBroker");
    txtBroker->setPlaceholderText(QStringLiteral("mqtt://broker:1883"));
    auto* txtPrefix = new QLineEdit(QString::fromStdString(m_settings.Mqtt.Prefix), &dialog);
    txtPrefix->setObjectName("txtPrefix");
    auto* txtUser = new QLineEdit(QString::fromStdString(m_settings.Mqtt.User), &dialog);
    txtUser->setObjectName("txtUser");
    auto* txtPassword = new QLineEdit(QString::fromStdString(m_settings.Mqtt.Password), &dialog);
    txtPassword->setObjectName("txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    auto* cmbQos = new QComboBox(&dialog);
    cmbQos->setObjectName("cmbQos");
    cmbQos->addItems({QStringLiteral("0"), QStringLiteral("1")});
    cmbQos->setCurrentIndex(m_settings.Mqtt.Qos);
    auto* txtTlsCa = new QLineEdit(QString::fromStdString(m_settings.Mqtt.TlsCaFile), &dialog);
    txtTlsCa->setObjectName("txtTlsCa");
    auto* cmdTlsCa = new QToolButton(&dialog);
    cmdTlsCa->setText(QStringLiteral("..."));
    auto* spnQueue = new QSpinBox(&dialog);
    spnQueue->setObjectName("spnQueue");
    spnQueue->setRange(1, static_cast<int>(mqtt::MaxQueueLimit));
    spnQueue->setValue(static_cast<int>(m_settings.Mqtt.QueueLimit));
    auto* lblNote = label("lblPasswordNote", MqttText::PasswordNote);
    lblNote->setWordWrap(true);
    auto* lblError = new QLabel(&dialog);
    lblError->setObjectName("lblError");
    lblError->setStyleSheet(QStringLiteral("color: red"));
    lblError->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    modLanguage::SetTag(buttons->button(QDialogButtonBox::Ok), MqttText::Ok);
    modLanguage::SetTag(buttons->button(QDialogButtonBox::Cancel), MqttText::Cancel);

    auto* form = new QFormLayout;
    form->addRow(chkPublish);
    form->addRow(label("lblBroker", MqttText::Broker), txtBroker);
    form->addRow(label("lblPrefix", MqttText::Prefix), txtPrefix);
    form->addRow(label("lblUser", MqttText::User), txtUser);
    form->addRow(label("lblPassword", MqttText::Password), txtPassword);
    form->addRow(label("lblQos", MqttText::Qos), cmbQos);
    auto* ca = new QHBoxLayout;
    ca->addWidget(txtTlsCa, 1);
    ca->addWidget(cmdTlsCa);
    form->addRow(label("lblTlsCa", MqttText::TlsCa), ca);
    form->addRow(label("lblQueue", MqttText::Queue), spnQueue);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(lblNote);
    layout->addWidget(lblError);
    layout->addWidget(buttons);
    modLanguage::ApplyLanguage(&dialog);

    connect(cmdTlsCa, &QToolButton::clicked, &dialog, [&] {
        const QString file = QFileDialog::getOpenFileName(&dialog, Text(MqttText::TlsCa), txtTlsCa->text());
        if (!file.isEmpty()) txtTlsCa->setText(file);
    });
    MqttProgramSettings chosen;
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        chosen = MqttProgramSettings{};
        chosen.Publish = chkPublish->isChecked();
        chosen.Broker = txtBroker->text().trimmed().toStdString();
        std::string error;
        if ((chosen.Publish || !chosen.Broker.empty()) &&
            !mqtt::ParseBrokerAddress(chosen.Broker, &chosen.Mqtt, &error)) {
            lblError->setText(QString::fromStdString(error));
            return;
        }
        if (!mqtt::ParsePrefix(txtPrefix->text().trimmed().toStdString(), &chosen.Mqtt.Prefix, &error)) {
            lblError->setText(QString::fromStdString(error));
            return;
        }
        chosen.Mqtt.User = txtUser->text().trimmed().toStdString();
        chosen.Mqtt.Password = txtPassword->text().toStdString();
        chosen.Mqtt.Qos = cmbQos->currentIndex() == 1 ? 1 : 0;
        chosen.Mqtt.TlsCaFile = txtTlsCa->text().trimmed().toStdString();
        if (!chosen.Mqtt.TlsCaFile.empty()) chosen.Mqtt.Tls = true;
        chosen.Mqtt.QueueLimit = static_cast<std::size_t>(spnQueue->value());
        dialog.accept();
    });
    if (dialog.exec() == QDialog::Accepted) Apply(chosen);
}
