#include "frmTextWindow.h"
#include "modAPI.h"
#include "modControls.h"
#include "modGlobals.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QResizeEvent>
#include <algorithm>

namespace {
bool g_open = false;
QPointer<frmTextWindow> g_instance;

// The window's own flag and the application's follow each other.
void SetOpen(bool open) {
    g_open = open;
    modGlobals::ValueWindowOpen = open;
}
}  // namespace

const char* const frmTextWindow::SampleText = "#####,# ##";

frmTextWindow::frmTextWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmTextWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("ORA-2 / ORB-2"));

    lblValue = new QLabel(this);
    lblValue->setObjectName("lblValue");
    QFont valueFont(QStringLiteral("Arial"), MinFontPoints);
    valueFont.setBold(true);
    lblValue->setFont(valueFont);

    // The measuring aid uses the value's own (bold) font: measured in a regular
    // font, the bold value would come out wider than the room it was fitted to
    // and be cut off in a maximised window.
    lblTest = new QLabel(this);
    lblTest->setObjectName("lblTest");
    lblTest->setFont(valueFont);
    lblTest->hide();

    const QSize minimum = MinimumSizePx();
    setMinimumSize(minimum);
    resize(minimum);

    modControls::PlainTextLabels(this);
    SetOpen(true);
    g_instance = this;
}

frmTextWindow::~frmTextWindow() {
    if (g_instance == this || g_instance.isNull()) {
        SetOpen(false);
        g_instance = nullptr;
    }
}

bool frmTextWindow::IsOpen() { return g_open; }

frmTextWindow* frmTextWindow::Instance() { return g_instance.data(); }

frmTextWindow* frmTextWindow::Open(QWidget* owner) {
    if (!g_instance) new frmTextWindow(owner);
    frmTextWindow* w = g_instance.data();
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void frmTextWindow::Unload() {
    if (g_instance) g_instance->close();
}

void frmTextWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) SetOpen(false);
}

QString frmTextWindow::WindowHeader() const { return windowTitle(); }
void frmTextWindow::WindowHeader(const QString& header) { setWindowTitle(header); }

QString frmTextWindow::ValueText() const { return valueText_; }
void frmTextWindow::ValueText(const QString& text) { valueText_ = text; }

int frmTextWindow::FontPointSize() const { return lblValue->font().pointSize(); }

int frmTextWindow::TwipsToPixelsX(int twips) const { return modAPI::TwipsToPixels(twips, logicalDpiX()); }
int frmTextWindow::TwipsToPixelsY(int twips) const { return modAPI::TwipsToPixels(twips, logicalDpiY()); }

QSize frmTextWindow::MinimumSizePx() const {
    return {TwipsToPixelsX(MinWidthTwips), TwipsToPixelsY(MinHeightTwips)};
}

void frmTextWindow::ShowValue() {
    // A value that no longer fits widens the window; the resize then fits the font.
    const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    if (normal && lblValue->width() >= width())
        resize(lblValue->width() + TwipsToPixelsX(240), height());
    lblValue->setText(valueText_);
    lblValue->adjustSize();
}

int frmTextWindow::FitFontSize(int targetWidth, const std::function<int(int)>& widthAt) {
    int size = MinFontPoints;
    int fitted = MinFontPoints;
    int lastWidth = -1;
    for (;;) {
        const int width = widthAt(size);
        if (width >= targetWidth) break;
        fitted = size;
        // A font that stopped growing (or a size beyond any sane screen) ends the search.
        if (width <= lastWidth) break;
        lastWidth = width;
        const int next = size + (size <= 26 ? 2 : 6);
        if (next > MaxFontPoints) break;
        size = next;
    }
    return fitted;
}

void frmTextWindow::FitFont(int windowWidth) {
    QString sample = lblValue->text();
    if (sample.isEmpty()) sample = QString::fromLatin1(SampleText);
    lblTest->setText(sample);

    QFont testFont = lblTest->font();
    const int size = FitFontSize(windowWidth - TwipsToPixelsX(360), [&](int points) {
        testFont.setPointSize(points);
        return QFontMetrics(testFont).horizontalAdvance(sample);
    });
    testFont.setPointSize(size);
    lblTest->setFont(testFont);

    QFont valueFont = lblValue->font();
    valueFont.setPointSize(size);
    lblValue->setFont(valueFont);
    lblValue->adjustSize();
}

void frmTextWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The window's own size correction below must not fit the font again: with
    // the tighter margins it would shrink the font step by step.
    if (resizing_) {
        if (event->size() == ownSize_) ownSize_ = QSize();
        return;
    }
    if (ownSize_.isValid() && event->size() == ownSize_) {  // delivered late by the window system
        ownSize_ = QSize();
        return;
    }
    ownSize_ = QSize();
    if (isMinimized()) return;

    resizing_ = true;
    const QSize minimum = MinimumSizePx();
    const bool tooSmall = height() < minimum.height() || width() < minimum.width();
    if (tooSmall) {
        ownSize_ = size().expandedTo(minimum);
        resize(ownSize_);
    } else {
        FitFont(width());
    }

    int height = this->height();
    if (!isMaximized() && !isFullScreen()) {
        const QSize wanted(std::max(lblValue->width() + TwipsToPixelsX(240), minimum.width()),
                           std::max(lblValue->height() + TwipsToPixelsY(480), minimum.height()));
        if (wanted != size()) {
            ownSize_ = wanted;
            resize(wanted);
        }
        height = wanted.height();
    }
    lblValue->move(TwipsToPixelsX(120), std::max(0, (height - lblValue->height()) / 2));
    resizing_ = false;
}
