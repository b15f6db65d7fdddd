#include "ConfigStoreUi.h"

#include <QAbstractTextDocumentLayout>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTextDocument>
#include <QTextOption>

#include "modConfigTexts.h"
#include "modControls.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QStringList Filters(const std::string& filter) {
    QStringList list;
    for (const auto& name : NameFilters(filter)) list << Q(name);
    return list;
}

}  // namespace

bool QtConfigStoreHost::AskText(const std::string& prompt, const std::string& title, std::string& text) {
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, Q(title), Q(prompt), QLineEdit::Normal, Q(text), &ok);
    if (!ok) return false;
    text = answer.toStdString();
    return true;
}

std::string QtConfigStoreHost::AskSaveFile(const std::string& folder, const std::string& preset,
                                           const std::string& filter) {
    QFileDialog dialog(m_parent, QString(), Q(folder));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The store asks its own question when the file belongs to an entry or exists.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(Filters(filter));
    dialog.setDefaultSuffix("kov");
    if (!preset.empty()) dialog.selectFile(Q(preset));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first().toStdString();
}

std::string QtConfigStoreHost::AskOpenFile(const std::string& folder, const std::string& filter) {
    return QFileDialog::getOpenFileName(m_parent, QString(), Q(folder), Filters(filter).join(";;")).toStdString();
}

bool QtConfigStoreHost::AskYesNo(const std::string& text, const std::string& title) {
    return modControls::Message(m_parent, QMessageBox::Warning, Q(title), Q(text), QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void QtConfigStoreHost::ShowMessage(const std::string& text, const std::string& title) {
    modControls::Message(m_parent, QMessageBox::Warning, Q(title), Q(text));
}

bool QtProcessStarter::StartDetached(const modReport::Command& command, std::string* error) {
    const QString program = Q(command.Program);
    if (!program.contains('/') && !program.contains('\\') && QStandardPaths::findExecutable(program).isEmpty()) {
        if (error) *error = "not found";
        return false;
    }
    QStringList arguments;
    for (const auto& argument : command.Arguments) arguments << Q(argument);
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (process.startDetached()) return true;
    if (error) *error = process.errorString().toStdString();
    return false;
}

namespace ConfigStoreUi {

bool OpenReport(QWidget* parent, const std::string& folder, const std::vector<std::string>& lines,
                modReport::ProcessStarter& starter) {
    using namespace modConfigTexts;
    std::string path, error;
    if (!modReport::WriteReport(folder, lines, &path, &error)) {
        modControls::Message(parent, QMessageBox::Warning, Q(Text(Error)), Q(Text(ReportNotWritten, {error})));
        return false;
    }
    if (!modReport::OpenInEditor(path, starter, &error)) {
        modControls::Message(parent, QMessageBox::Warning, Q(Text(Error)), Q(Text(EditorNotStarted, {path, error})));
        return false;
    }
    return true;
}

bool PrintReport(QWidget* parent, const std::vector<std::string>& lines) {
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QTextDocument document;
    // Laid out for the printer itself, so that the tab stops are measured in
    // its units and the pages are its pages.
    document.documentLayout()->setPaintDevice(&printer);
    document.setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
    document.setDefaultFont(font);
    QTextOption option = document.defaultTextOption();
    option.setTabStopDistance(8 * QFontMetricsF(font, &printer).horizontalAdvance(QLatin1Char(' ')));
    document.setDefaultTextOption(option);
    QStringList text;
    for (const auto& line : lines) text << Q(line);
    document.setPlainText(text.join('\n'));
    document.print(&printer);
    return true;
}

}  // namespace ConfigStoreUi
