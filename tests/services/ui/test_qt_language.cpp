// Qt's own texts (message box buttons, file and print dialogs) follow the
// program's language.
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "modFunctions.h"
#include "modLanguage.h"

namespace {
QString QtCancel() { return QCoreApplication::translate("QPlatformTheme", "Cancel"); }
QString QtFileDialogTitle() { return QCoreApplication::translate("QFileDialog", "Open"); }
}  // namespace

class QtLanguageTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        modLanguage::SetQtTranslationsFolder({});
        modFunctions::SetLanguageOffset(1000);
        modLanguage::ApplyQtLanguage();
    }
    void cleanup() {
        modLanguage::SetQtTranslationsFolder({});
        modFunctions::SetLanguageOffset(0);
    }

    void systemHasQtsGermanTexts() {
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        QVERIFY2(QFileInfo::exists(folder + "/qtbase_de.qm"),
                 qPrintable("no qtbase_de.qm in " + folder + " (Debian: qt6-translations-l10n)"));
    }

    // Switching the language the way the windows do it (ApplyLanguage after
    // the offset changed) switches Qt's texts too, back and forth.
    void followsEveryLanguageSwitch() {
        QCOMPARE(QtCancel(), QStringLiteral("Cancel"));
        QWidget window;
        modFunctions::SetLanguageOffset(0);
        modLanguage::ApplyLanguage(&window);
        QCOMPARE(QtCancel(), QStringLiteral("Abbrechen"));
        QCOMPARE(QtFileDialogTitle(), QStringLiteral("Öffnen"));
        QVERIFY(modLanguage::ApplyQtLanguage());

        modFunctions::SetLanguageOffset(1000);
        modLanguage::ApplyLanguage(&window);
        QCOMPARE(QtCancel(), QStringLiteral("Cancel"));

        modFunctions::SetLanguageOffset(0);
        modLanguage::ApplyLanguage(nullptr);  // no window: Qt still follows
        QCOMPARE(QtCancel(), QStringLiteral("Abbrechen"));
    }

    // A message box built while German is on shows German standard buttons.
    void messageBoxButtonsInGerman() {
        modFunctions::SetLanguageOffset(0);
        QVERIFY(modLanguage::ApplyQtLanguage());
        QMessageBox box(QMessageBox::Warning, "t", "x", QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove('&'), QStringLiteral("Abbrechen"));
    }

    // Repeated switches install one translator at a time: after many rounds
    // English is plain English again.
    void repeatedSwitchesLeaveNoTranslatorBehind() {
        for (int i = 0; i < 20; ++i) {
            modFunctions::SetLanguageOffset(i % 2 ? 1000 : 0);
            modLanguage::ApplyQtLanguage();
        }
        modFunctions::SetLanguageOffset(1000);
        modLanguage::ApplyQtLanguage();
        QCOMPARE(QtCancel(), QStringLiteral("Cancel"));
        QVERIFY(QCoreApplication::instance()->findChildren<QTranslator*>().size() <= 1);
    }

    // Without Qt's translations the program still switches; Qt stays English
    // and says so.
    void missingTranslationsLeaveQtEnglish() {
        QTemporaryDir empty;
        modLanguage::SetQtTranslationsFolder(empty.path());
        modFunctions::SetLanguageOffset(0);
        QVERIFY(!modLanguage::ApplyQtLanguage());
        QCOMPARE(QtCancel(), QStringLiteral("Cancel"));
        QWidget window;
        auto* label = new QLabel(&window);
        label->setProperty("Tag", "1136");
        modLanguage::ApplyLanguage(&window);
        QCOMPARE(label->text(), QString::fromUtf8("Comport nicht geöffnet"));
        modFunctions::SetLanguageOffset(1000);
        QVERIFY(modLanguage::ApplyQtLanguage());
    }
};

QTEST_MAIN(QtLanguageTest)
#include "test_qt_language.moc"
