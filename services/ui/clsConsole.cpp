#include "clsConsole.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {

// The console window: read-only, monospace, refuses to be closed by the user.
class ConsoleWindow : public QPlainTextEdit {
public:
    ConsoleWindow() {
        setObjectName("frmConsole");
        setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowMinMaxButtonsHint);
        setAttribute(Qt::WA_QuitOnClose, false);
        setReadOnly(true);
        setUndoRedoEnabled(false);
        setMaximumBlockCount(clsConsole::MaxLines);
        setLineWrapMode(QPlainTextEdit::NoWrap);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setStyleHint(QFont::Monospace);
        mono.setFixedPitch(true);
        setFont(mono);
        QPalette p = palette();
        p.setColor(QPalette::Base, Qt::black);
        p.setColor(QPalette::Text, QColor(QRgb(clsConsole::NormalColour)));
        setPalette(p);
        resize(720, 420);
    }

    void AllowClose() { closing_ = true; }

protected:
    void closeEvent(QCloseEvent* event) override {
        if (closing_)
            event->accept();
        else
            event->ignore();
    }

private:
    bool closing_ = false;
};

QString HexByte(unsigned char c) {
    return QStringLiteral("<%1>").arg(c, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

clsConsole::~clsConsole() { CloseConsole(); }

void clsConsole::WindowTitle(const std::string& title) {
    title_ = title;
    if (window_) window_->setWindowTitle(QString::fromLatin1(title_.data(), int(title_.size())));
}

std::string clsConsole::WindowTitle() const { return title_; }

bool clsConsole::IsLoaded() const { return !window_.isNull(); }

QPlainTextEdit* clsConsole::Window() const { return window_.data(); }

void clsConsole::LoadConsole() {
    if (!window_) {
        window_ = new ConsoleWindow;
        pendingCR_ = false;
        column_ = 0;
        WindowTitle(title_);
    }
    window_->show();
    window_->raise();
}

void clsConsole::CloseConsole() {
    if (!window_) return;
    auto* w = static_cast<ConsoleWindow*>(window_.data());
    window_.clear();
    w->AllowClose();
    w->close();
    delete w;
}

void clsConsole::WriteOut(const std::string& text) { Write(text, important_); }

void clsConsole::Important(const std::string& text) {
    const std::string line(69, '-');
    important_ = true;
    WriteOut(line);
    WriteOut(text);
    WriteOut(line);
    important_ = false;
}

void clsConsole::Write(const std::string& text, bool important) {
    if (!window_ || text.empty()) return;

    // Translate the bytes into display text: line ends become line breaks,
    // other control bytes a visible <hh>, and overlong lines are wrapped.
    QString out;
    out.reserve(int(text.size()) + 8);
    auto put = [&](const QString& s) {
        if (column_ + s.size() > MaxLineLength) {
            out += QChar('\n');
            column_ = 0;
        }
        out += s;
        column_ += int(s.size());
    };
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            if (!pendingCR_) out += QChar('\n');  // a CR already broke the line
            pendingCR_ = false;
            column_ = 0;
            continue;
        }
        pendingCR_ = false;
        if (c == '\r') {
            out += QChar('\n');
            pendingCR_ = true;
            column_ = 0;
        } else if (c == '\t') {
            put(QStringLiteral("    "));
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            put(HexByte(c));
        } else {
            put(QString(QChar(char16_t(c))));  // Latin-1 maps one to one
        }
    }
    if (out.isEmpty()) return;

    QScrollBar* bar = window_->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCharFormat format;
    format.setForeground(QColor(QRgb(important ? ImportantColour : NormalColour)));
    QTextCursor cursor(window_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(out, format);
    if (atEnd) bar->setValue(bar->maximum());
}
