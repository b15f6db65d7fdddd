// Language switching over widgets, the silent setters and the about box.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

#include "frmAbout.h"
#include "modAPI.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modLanguage.h"

namespace {
const QString kGerman = QString::fromUtf8("Comport nicht geöffnet");  // id 1136
const QString kEnglish = QStringLiteral("Comport not open");          // id 2136
}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

    // A window with one control of every kind, all tagged with id 1136.
    struct Window {
        QMainWindow main;
        QLabel* label;
        QLabel* untagged;
        QLabel* badTag;
        QPushButton* button;
        QCheckBox* check;
        QGroupBox* frame;
        QLineEdit* edit;
        QTabWidget* tabs;
        QTreeWidget* tree;
        QMenu* menu;
        QAction* item;
        QDialog* owned;
        QLabel* ownedLabel;

        Window() {
            main.setProperty("Tag", "1136");
            auto* central = new QWidget(&main);
            main.setCentralWidget(central);
            label = Make<QLabel>(central, "1136", "design");
            untagged = Make<QLabel>(central, QString(), "Start");
            badTag = Make<QLabel>(central, "abc", "keep");
            button = Make<QPushButton>(central, "1136", "design");
            check = Make<QCheckBox>(central, "1136", "design");
            frame = new QGroupBox("design", central);
            frame->setProperty("Tag", "1136");
            edit = new QLineEdit("typed", frame);  // no caption: text stays, tooltip changes
            edit->setProperty("Tag", "1136");
            edit->setProperty("ToolTipText", "1136");
            tabs = new QTabWidget(central);
            tabs->addTab(new QWidget, "tab0");
            auto* page1 = new QWidget;
            page1->setProperty("Tag", "900");
            tabs->addTab(page1, "tab1");
            tabs->addTab(new QWidget, "tab2");
            tabs->setProperty("TabTags", QStringList{"1136", "", "x"});
            tabs->setProperty("TabToolTips", QStringList{"1136"});
            tree = new QTreeWidget(central);
            tree->setColumnCount(2);
            tree->setHeaderLabels({"h0", "h1"});
            tree->setProperty("HeaderTags", QVariantList{1136, QVariant()});
            menu = main.menuBar()->addMenu("menu");
            menu->setProperty("Tag", "1136");
            item = menu->addAction("item");
            item->setProperty("Tag", "1136");
            owned = new QDialog(&main);  // another window: applies its own texts
            ownedLabel = Make<QLabel>(owned, "1136", "owned");
        }

        template <class T>
        static T* Make(QWidget* parent, const QString& tag, const QString& text) {
            auto* w = new T(text, parent);
            if (!tag.isNull()) w->setProperty("Tag", tag);
            return w;
        }
    };

    void CheckTexts(Window& w, const QString& expected) {
        QCOMPARE(w.main.windowTitle(), expected);
        QCOMPARE(w.label->text(), expected);
        QCOMPARE(w.button->text(), expected);
        QCOMPARE(w.check->text(), expected);
        QCOMPARE(w.frame->title(), expected);
        QCOMPARE(w.edit->toolTip(), expected);
        QCOMPARE(w.tabs->tabText(0), expected);
        QCOMPARE(w.tabs->tabToolTip(0), expected);
        QCOMPARE(w.tabs->tabText(1), QString("ORA-2 / ORB-2"));  // the page's own Tag
        QCOMPARE(w.tree->headerItem()->text(0), expected);
        QCOMPARE(w.menu->title(), expected);
        QCOMPARE(w.item->text(), expected);
        // Untouched: no Tag, a Tag that is no number, a control without caption, another window.
        QCOMPARE(w.untagged->text(), QString("Start"));
        QCOMPARE(w.badTag->text(), QString("keep"));
        QCOMPARE(w.edit->text(), QString("typed"));
        QCOMPARE(w.tabs->tabText(2), QString("tab2"));
        QCOMPARE(w.tree->headerItem()->text(1), QString("h1"));
        QCOMPARE(w.ownedLabel->text(), QString("owned"));
    }

private slots:
    void cleanup() { modFunctions::SetLanguageOffset(0); }

    void applyLanguageGermanEnglishAndBack() {
        Window w;
        modFunctions::SetLanguageOffset(0);
        modLanguage::ApplyLanguage(&w.main);
        CheckTexts(w, kGerman);
        modFunctions::SetLanguageOffset(1000);
        modLanguage::ApplyLanguage(&w.main);
        CheckTexts(w, kEnglish);
        modFunctions::SetLanguageOffset(0);
        modLanguage::ApplyLanguage(&w.main);
        CheckTexts(w, kGerman);
        modLanguage::ApplyLanguage(nullptr);  // harmless
    }

    void silentSettersFireNoHandlers() {
        QComboBox list;
        list.addItems({"1", "16", "64", "256", "1024"});
        QCheckBox box;
        int fired = 0;
        connect(&list, &QComboBox::currentIndexChanged, this, [&] { ++fired; });
        connect(&list, &QComboBox::activated, this, [&] { ++fired; });
        connect(&box, &QCheckBox::toggled, this, [&] { ++fired; });
        connect(&box, &QCheckBox::stateChanged, this, [&] { ++fired; });

        modControls::SetComboIndexSilent(&list, 2);
        QCOMPARE(list.currentIndex(), 2);
        modControls::SetComboIndexSilent(&list, -1);
        QCOMPARE(list.currentIndex(), -1);
        modControls::SetComboIndexSilent(&list, 4);
        modControls::SetComboIndexSilent(&list, 99);  // outside the list: no entry
        QCOMPARE(list.currentIndex(), -1);
        modControls::SetCheckSilent(&box, 1);
        QVERIFY(box.isChecked());
        modControls::SetCheckSilent(&box, 0);
        QVERIFY(!box.isChecked());
        modControls::SetComboIndexSilent(nullptr, 1);
        modControls::SetCheckSilent(nullptr, 1);
        QCOMPARE(fired, 0);

        // The handlers are still connected for the user's own changes.
        list.setCurrentIndex(1);
        box.setChecked(true);
        QVERIFY(fired >= 2);
    }

    void aboutBoxLabels() {
        for (const int offset : {0, 1000}) {
            modFunctions::SetLanguageOffset(offset);
            frmAbout box;
            QCOMPARE(box.windowTitle(), modLanguage::Text(1190));
            QCOMPARE(box.cmdOK->text(), modLanguage::Text(1095));
            QVERIFY(QRegularExpression("^V\\d+\\.\\d+\\.\\d+$").match(box.lblVersion->text()).hasMatch());
            QCOMPARE(box.lblOPSystem->text(), QString::fromStdString(modAPI::GetOSName()));
            QCOMPARE(box.lblProduct->text(), QString("ORA-2 /ORB-2"));
            QVERIFY(box.isModal());
            box.show();
            QTest::mouseClick(box.cmdOK, Qt::LeftButton);
            QCOMPARE(box.result(), int(QDialog::Accepted));
            QVERIFY(!box.isVisible());
        }
        // A version the application states itself is shown as major.minor.revision.
        QCoreApplication::setApplicationVersion("2.5.7.99");
        QCOMPARE(ProgramVersionText(), QString("V2.5.7"));
        QCoreApplication::setApplicationVersion(QString());
    }
};

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
