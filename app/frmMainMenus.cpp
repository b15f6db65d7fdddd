// The main window's menu commands: the configuration dialog and the default
// device, the language and the console, help and the about box. (The chart's
// popup menu is in frmMainChart.cpp.)
#include <QAction>

#include "clsConsole.h"
#include "frmAbout.h"
#include "frmChartSettings.h"
#include "frmKOV.h"
#include "frmMain.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modHTMLHelp.h"
#include "modLanguage.h"

void frmMain::mnuPopupHelp_Click() { modHTMLHelp::ShowMainHelp(this); }
void frmMain::mnuHelpContents_Click() { modHTMLHelp::ShowContents(this); }

void frmMain::mnuHelpAbout_Click() { frmAbout::ShowAbout(this); }

void frmMain::mnuOptionLanguageDEEN_Click() {
    const bool german = modFunctions::LanguageOffset() == modFunctions::German;
    modFunctions::SetLanguageOffset(german ? modFunctions::English : modFunctions::German);
    ApplyTexts();
    if (m_chartSettings) modLanguage::ApplyLanguage(m_chartSettings);
    modHTMLHelp::SetPopupHelpFile(this);
    SaveSettings();
}

void frmMain::mnuOptionConsole_Click() {
    if (mnuOptionConsole->isChecked()) {
        m_console = std::make_unique<clsConsole>();
        m_console->WindowTitle("ORA-2/ORB-2 Monitor");
        m_console->LoadConsole();
    } else if (m_console) {
        m_console->CloseConsole();
        m_console.reset();
    }
}

void frmMain::mnuConfigurationKOV_Click() {
    if (m_closing || modGlobals::ConfigDialogOpen || !modGlobals::Device) return;
    // The dialog's transfers run on the loop's ticks; the window unloads
    // only once the dialog has returned.
    RunWaiting([&] {
        modGlobals::ConfigDialogOpen = true;
        frmKOV::ShowDialog(this, *m_loop, modGlobals::ConfigList, modGlobals::UnloadedConfigFiles, modGlobals::Settings,
                           modGlobals::DefaultDevice);
        modGlobals::ConfigDialogOpen = false;
    });
}

void frmMain::mnuConfigurationDefaultSerial_Click() {
    modGlobals::DefaultDevice = "Serial";
    mnuConfigurationDefaultSerial->setChecked(true);
    mnuConfigurationDefaultProfibus->setChecked(false);
    SaveSettings();
}

void frmMain::mnuConfigurationDefaultProfibus_Click() {
    modGlobals::DefaultDevice = "Profibus";
    mnuConfigurationDefaultProfibus->setChecked(true);
    mnuConfigurationDefaultSerial->setChecked(false);
    SaveSettings();
}
