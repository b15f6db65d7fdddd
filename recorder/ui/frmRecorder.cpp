#include "frmRecorder.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "MonitorLoop.h"
#include "modAPI.h"
#include "modControls.h"
#include "modFunctions.h"
#include "modLanguage.h"
#include "modRecFile.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// "text|pattern|text|pattern" as Qt's name filters ("text (pattern)" already
// holds the pattern in the texts used here).
QString QtFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList names;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& text = parts[i];
        names << (text.contains(QLatin1Char('(')) ? text : text + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')'));
    }
    return names.join(QStringLiteral(";;"));
}

class QtRecorderDialogs : public RecorderDialogs {
public:
    std::string AskOpenFile(QWidget* parent, const std::string& folder, const std::string& preset,
                            const std::string& filter) override {
        const QString start = preset.empty() ? Q(folder) : Q(preset);
        return QFileDialog::getOpenFileName(parent, QString(), start, QtFilter(filter)).toStdString();
    }
    void ShowMessage(QWidget* parent, const std::string& text, const std::string& title) override {
        modControls::Message(parent, QMessageBox::Warning, Q(title), Q(text));
    }
};

QIcon RecordIcon() {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 0, 0));
    painter.drawEllipse(QRectF(2, 2, 12, 12));
    return QIcon(picture);
}

std::shared_ptr<RecorderDialogs>& DefaultDialogs() {
    static std::shared_ptr<RecorderDialogs> dialogs;
    return dialogs;
}

std::string Replace(std::string text, const std::string& key, const std::string& value) {
    const size_t at = text.find(key);
    if (at != std::string::npos) text.replace(at, key.size(), value);
    return text;
}

}  // namespace

frmRecorder::frmRecorder(RecorderHost& host, QWidget* parent, std::shared_ptr<RecorderDialogs> dialogs)
    : QWidget(parent, Qt::Tool), m_host(host), m_dialogs(std::move(dialogs)) {
    if (!m_dialogs) m_dialogs = DefaultDialogs();
    if (!m_dialogs) m_dialogs = std::make_shared<QtRecorderDialogs>();
    setObjectName(QStringLiteral("frmRecorder"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    modLanguage::SetTag(this, 1390);

    auto* layout = new QHBoxLayout(this);
    auto button = [&](const char* name, const QIcon& icon) {
        auto* b = new QPushButton(this);
        b->setObjectName(QLatin1String(name));
        b->setIcon(icon);
        b->setIconSize(QSize(16, 16));
        b->setAccessibleName(QLatin1String(name));
        layout->addWidget(b);
        return b;
    };
    cmdRec = button("cmdRec", RecordIcon());
    cmdPlay = button("cmdPlay", style()->standardIcon(QStyle::SP_MediaPlay));
    cmdStop = button("cmdStop", style()->standardIcon(QStyle::SP_MediaStop));
    connect(cmdRec, &QPushButton::clicked, this, &frmRecorder::cmdRec_Click);
    connect(cmdPlay, &QPushButton::clicked, this, &frmRecorder::cmdPlay_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmRecorder::cmdStop_Click);
    modLanguage::ApplyLanguage(this);

    cmdStop->setEnabled(false);
    cmdPlay->setEnabled(!m_host.Measuring());
    m_listener = m_host.Loop().Subscribe([this](const Measurement& m) { SaveData(m); });
    m_host.SetRecorderWindowOpen(true);
}

void frmRecorder::SetDefaultDialogs(std::shared_ptr<RecorderDialogs> dialogs) { DefaultDialogs() = std::move(dialogs); }

frmRecorder::~frmRecorder() {
    StopRecording();
    m_host.Loop().Unsubscribe(m_listener);
    m_host.SetRecorderWindowOpen(false);
}

void frmRecorder::Fail(const std::string& text) {
    m_dialogs->ShowMessage(this, text, modFunctions::GetText(1322));
}

void frmRecorder::cmdRec_Click() {
    if (m_host.RecorderState() != RecorderMode::Idle || m_writer.IsOpen()) return;
    // The file comes first: a recorder that cannot write stays idle. The
    // next free number is taken with an exclusive create, so another
    // recorder on the same data folder gets the number after it.
    std::string error;
    const std::string folder = modRecFile::MakeFolder(modAPI::ProgramFolder(), &error);
    if (folder.empty() || !m_writer.CreateNext(folder, &error)) {
        const std::string where =
            folder.empty() ? modAPI::ProgramFolder() + "/" + modRecFile::FolderName : m_writer.Path();
        Fail(Replace(Replace(modFunctions::GetText(1392), "%1", where), "%2", error));
        return;
    }
    const std::string path = m_writer.Path();
    m_fileName = path;
    m_writeFailed = false;
    cmdRec->setEnabled(false);
    cmdPlay->setEnabled(false);
    cmdStop->setEnabled(true);
    m_host.SetRecorderState(RecorderMode::Recording);
    m_host.SetStatus(StatusPanel::Files, "REC: " + path + " ");
}

void frmRecorder::SaveData(const Measurement& m) {
    if (m_host.RecorderState() != RecorderMode::Recording || !m_writer.IsOpen()) return;
    std::string error;
    if (m_writer.WriteLine(modRecFile::FormatLine(m), &error)) return;
    // Full disk, lost drive: what is in the file stays, the recording ends.
    StopRecording();
    m_host.SetStatus(StatusPanel::Files, "");
    Fail(Replace(Replace(modFunctions::GetText(1393), "%1", m_fileName), "%2", error));
}

void frmRecorder::StopRecording() {
    if (m_writer.IsOpen()) m_writer.Close();
    if (m_host.RecorderState() == RecorderMode::Recording) m_host.SetRecorderState(RecorderMode::Idle);
    if (!cmdRec) return;
    cmdRec->setEnabled(true);
    cmdPlay->setEnabled(!m_host.Measuring());
    cmdStop->setEnabled(false);
}

void frmRecorder::cmdStop_Click() {
    StopRecording();
    m_host.SetRecorderState(RecorderMode::Idle);
}

void frmRecorder::MeasuringChanged(bool measuring) {
    if (m_host.RecorderState() != RecorderMode::Idle) return;
    cmdRec->setEnabled(!measuring);
    cmdPlay->setEnabled(!measuring);
}

bool frmRecorder::LoadData(const std::string& path, int capacity) {
    // The distances the chart keeps (its last `capacity` points), for the y range.
    std::vector<std::int32_t> charted(static_cast<size_t>(std::max(1, capacity)));
    size_t next = 0, count = 0;
    // The main window pauses its timer and shows the progress from here on.
    if (!m_host.LoadProgress(0)) return true;
    const modRecFile::LoadResult result = modRecFile::Load(
        path,
        [&](const modRecFile::Line& line) {
            m_host.Loop().PublishDistance(RecordedMeasurement(line.Time, line.Distance));
            if (line.Distance != 0 && std::abs(static_cast<double>(line.Distance)) < 99999999.0) {
                charted[next] = line.Distance;
                next = (next + 1) % charted.size();
                count = std::min(count + 1, charted.size());
            }
        },
        [&](int percent) { return m_host.LoadProgress(percent); });
    if (result.Lines > 0) {
        // The whole recording: its span as the window, every point kept in the y range.
        if (const int window = modRecFile::PlaybackWindowMs(result.First, result.Last)) m_host.SetTimeInterval(window);
        if (count > 0) {
            const auto range = std::minmax_element(charted.begin(), charted.begin() + static_cast<long>(count));
            double yLow, yHigh;
            modRecFile::PlaybackRange(*range.first, *range.second, yLow, yHigh);
            m_host.SetYRange(yLow, yHigh);
        }
        m_host.ShowUpTo(result.Last);
    }
    return result.Ok;
}

void frmRecorder::cmdPlay_Click() {
    if (m_host.RecorderState() != RecorderMode::Idle || m_host.Measuring()) return;
    cmdRec->setEnabled(false);
    cmdPlay->setEnabled(false);
    cmdStop->setEnabled(false);
    const std::string folder = modAPI::ProgramFolder() + "/" + modRecFile::FolderName;
    const std::string path = m_dialogs->AskOpenFile(this, folder, m_fileName, modFunctions::GetText(1151));
    if (!path.empty()) {
        m_host.SetStatus(StatusPanel::Events, "");
        m_host.SetStatus(StatusPanel::Files, modFunctions::GetText(1391));
        m_fileName = path;
        m_host.SetRecorderState(RecorderMode::PlayingBack);
        m_host.ResetChart(PlaybackPoints);
        m_host.SetAutoScale(true);
        m_loading = true;
        const bool ok = LoadData(path);
        m_loading = false;
        m_host.SetStatus(StatusPanel::Files, path);
        if (!ok) m_host.SetStatus(StatusPanel::Events, "Error in LoadData");
    }
    cmdStop_Click();
}

void frmRecorder::showEvent(QShowEvent* event) {
    m_host.SetRecorderWindowOpen(true);
    QWidget::showEvent(event);
}

void frmRecorder::closeEvent(QCloseEvent* event) {
    // The user may not close the window under a running recording; any
    // other close (the main window goes) ends the recording first. A load
    // finishes first (it ends early when the program is closing).
    if (m_loading || (event->spontaneous() && m_writer.IsOpen())) {
        event->ignore();
        return;
    }
    StopRecording();
    m_host.SetRecorderWindowOpen(false);
    QWidget::closeEvent(event);
}
