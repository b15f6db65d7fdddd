// Language switching over widgets, the silent setters and the about box.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
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

class LanguageTest : public QObject {
    Q_OBJECT

    template <class T>
    static T* Tagged(T* object, const QString& tag) {
        object->setProperty("Tag", tag);
        return object;
    }

private slots:
    void cleanup() { modFunctions::SetLanguageOffset(0); }

    // Every kind of control tagged with id 1136 ("Comport nicht geöffnet" /
    // "Comport not open"), and the ones that must keep their text.
    void applyLanguageGermanEnglishAndBack() {
        QMainWindow main;
        main.setProperty("Tag", "1136");
        auto* c = new QWidget(&main);
        main.setCentralWidget(c);
        auto* label = Tagged(new QLabel("design", c), "1136");
        auto* button = Tagged(new QPushButton("design", c), "1136");
        auto* frame = Tagged(new QGroupBox("design", c), "1136");
        auto* edit = Tagged(new QLineEdit("typed", frame), "1136");  // no caption: only the tooltip
        edit->setProperty("ToolTipText", "1136");
        auto* untagged = new QLabel("Start", c);
        auto* badTag = Tagged(new QLabel("keep", c), "abc");
        auto* tabs = new QTabWidget(c);
        tabs->addTab(new QWidget, "tab0");
        tabs->addTab(Tagged(new QWidget, "900"), "tab1");  // the page's own Tag
        tabs->addTab(new QWidget, "tab2");
        tabs->setProperty("TabTags", QStringList{"1136", "", "x"});
        tabs->setProperty("TabToolTips", QStringList{"1136"});
        auto* tree = new QTreeWidget(c);
        tree->setColumnCount(2);
        tree->setHeaderLabels({"h0", "h1"});
        tree->setProperty("HeaderTags", QVariantList{1136, QVariant()});
        auto* menu = Tagged(main.menuBar()->addMenu("menu"), "1136");
        auto* item = Tagged(menu->addAction("item"), "1136");
        auto* owned = new QDialog(&main);  // another window: applies its own texts
        auto* ownedLabel = Tagged(new QLabel("owned", owned), "1136");

        const auto texts = [&] {
            return QStringList{main.windowTitle(), label->text(), button->text(), frame->title(),
                               edit->toolTip(), tabs->tabText(0), tabs->tabToolTip(0),
                               tree->headerItem()->text(0), menu->title(), item->text()};
        };
        for (const int offset : {0, 1000, 0}) {
            modFunctions::SetLanguageOffset(offset);
            modLanguage::ApplyLanguage(&main);
            const QString expected =
                offset ? QStringLiteral("Comport not open") : QString::fromUtf8("Comport nicht geöffnet");
            QCOMPARE(texts(), QStringList(texts().size(), expected));
            QCOMPARE((QStringList{untagged->text(), badTag->text(), edit->text(), tabs->tabText(1), tabs->tabText(2),
                                  tree->headerItem()->text(1), ownedLabel->text()}),
                     (QStringList{"Start", "keep", "typed", "ORA-2 / ORB-2", "tab2", "h1", "owned"}));
        }
        modLanguage::ApplyLanguage(nullptr);  // harmless
    }

    void silentSettersFireNoHandlers() {
        QComboBox list;
        list.addItems({"1", "16", "64", "256", "1024"});
        QCheckBox box;
        int fired = 0;
        connect(&list, &QComboBox::currentIndexChanged, this, [&] { ++fired; });
        connect(&box, &QCheckBox::toggled, this, [&] { ++fired; });

        for (const auto& [index, expected] : {std::pair{2, 2}, {-1, -1}, {4, 4}, {99, -1}}) {
            modControls::SetComboIndexSilent(&list, index);
            QCOMPARE(list.currentIndex(), expected);
        }
        for (const int state : {1, 0}) {
            modControls::SetCheckSilent(&box, state);
            QCOMPARE(box.isChecked(), state != 0);
        }
        modControls::SetComboIndexSilent(nullptr, 1);
        modControls::SetCheckSilent(nullptr, 1);
        QCOMPARE(fired, 0);
        // The handlers are still connected for the user's own changes.
        list.setCurrentIndex(1);
        box.setChecked(true);
        QCOMPARE(fired, 2);
    }

    void aboutBox() {
        for (const int offset : {0, 1000}) {
            modFunctions::SetLanguageOffset(offset);
            frmAbout box;
            QCOMPARE(box.windowTitle(), modLanguage::Text(1190));
            QCOMPARE(box.cmdOK->text(), modLanguage::Text(1095));
            QCOMPARE(box.lblOPSystem->text(), QString::fromStdString(modAPI::GetOSName()));
        }
        QCoreApplication::setApplicationVersion("2.5.7.99");
        QCOMPARE(ProgramVersionText(), QString("V2.5.7"));
        QCoreApplication::setApplicationVersion(QString());
    }
};

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
