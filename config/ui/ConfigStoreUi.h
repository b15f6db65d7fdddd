#pragma once
// The windows behind the configuration store and the settings report: input
// box, file dialogs, questions and messages for clsConfigStore; starting the
// text editor and printing for the report.
#include <string>
#include <vector>

#include "clsConfigStore.h"
#include "modReport.h"

class QWidget;

// Qt's input box, file dialogs and message boxes, over `parent`.
class QtConfigStoreHost : public ConfigStoreHost {
public:
    explicit QtConfigStoreHost(QWidget* parent) : m_parent(parent) {}
    bool AskText(const std::string& prompt, const std::string& title, std::string& text) override;
    std::string AskSaveFile(const std::string& folder, const std::string& preset, const std::string& filter) override;
    std::string AskOpenFile(const std::string& folder, const std::string& filter) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;

private:
    QWidget* m_parent;
};

// Starts a program with an argument list (QProcess, no shell), detached.
class QtProcessStarter : public modReport::ProcessStarter {
public:
    bool StartDetached(const modReport::Command& command, std::string* error) override;
};

namespace ConfigStoreUi {

// cmdPrint: writes the report into `folder` and opens it in the text editor
// through `starter`. A failure is told in a message box over `parent` and
// gives false.
bool OpenReport(QWidget* parent, const std::string& folder, const std::vector<std::string>& lines,
                modReport::ProcessStarter& starter);

// Prints the report from the program itself: the platform's print dialog,
// then the lines in a fixed-pitch font with tab stops every eight characters,
// as a text editor shows them. False when the dialog was cancelled.
bool PrintReport(QWidget* parent, const std::vector<std::string>& lines);

}  // namespace ConfigStoreUi
