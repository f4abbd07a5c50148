#include "WidgetUi.h"

#include "Form2.h"
#include "Form3.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <QWidget>

#include <utility>

namespace trawlex {

WidgetUi::WidgetUi(QWidget& window, std::function<void()> statusChanged)
    : window_(window), statusChanged_(std::move(statusChanged)) {}

QString WidgetUi::MessageTitle() {
    return QStringLiteral("Trawlex");
}

void WidgetUi::OnWindowThread(const std::function<void()>& work) {
    if (QThread::currentThread() == window_.thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(
        &window_,
        [this, &work] {
            inCommandCall_ = true;
            work();
            inCommandCall_ = false;
        },
        Qt::BlockingQueuedConnection);
}

void WidgetUi::ShowProgress(const RunProgress& progress) {
    const std::lock_guard lock(takenMutex_);
    progress_ = progress;
}

void WidgetUi::ResultsBegin(const ResultsHeading& heading) {
    {
        const std::lock_guard lock(takenMutex_);
        found_.clear();
    }
    OnWindowThread([this, &heading] {
        if (resultsBegun_) {
            resultsBegun_(heading);
        }
    });
}

void WidgetUi::ShowFound(FoundFile found) {
    const std::lock_guard lock(takenMutex_);
    found_.push_back(std::move(found));
}

std::vector<FoundFile> WidgetUi::TakeFound() {
    std::vector<FoundFile> taken;
    const std::lock_guard lock(takenMutex_);
    taken.swap(found_);
    return taken;
}

RunProgress WidgetUi::Progress() const {
    const std::lock_guard lock(takenMutex_);
    return progress_;
}

void WidgetUi::ShowMessage(const QString& text, MessageIcon icon) {
    if (QThread::currentThread() != window_.thread()) {
        OnWindowThread([&] { ShowMessage(text, icon); });
        return;
    }
    if (messageHook_) {
        messageHook_(text, icon);
        return;
    }
    const QMessageBox::Icon boxIcon =
        icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    QMessageBox box(boxIcon, MessageTitle(), text, QMessageBox::Ok, &window_);
    box.exec();
}

Flow WidgetUi::CheckStop() {
    // A command on its own thread leaves the window's event loop running; only the stop request
    // is its business here.
    if (QThread::currentThread() != window_.thread()) {
        return stopRequested_ ? Flow::Stop : Flow::Continue;
    }
    if (!sinceLastYield_.isValid() || sinceLastYield_.elapsed() >= kYieldIntervalMilliseconds) {
        QCoreApplication::processEvents();
        sinceLastYield_.start();
    }
    // A skipped yield still answers a stop that an earlier one took in.
    return stopRequested_ ? Flow::Stop : Flow::Continue;
}

void WidgetUi::StatusChanged() {
    OnWindowThread([this] {
        if (statusChanged_) {
            statusChanged_();
        }
    });
}

bool WidgetUi::StartDetached(const QString& program, const QStringList& arguments) {
    if (QThread::currentThread() != window_.thread()) {
        bool started = false;
        OnWindowThread([&] { started = StartDetached(program, arguments); });
        return started;
    }
    if (processStarter_) {
        return processStarter_(program, arguments);
    }
    return QProcess::startDetached(program, arguments);
}

bool WidgetUi::OpenWithDefaultApplication(const QString& path) {
    if (QThread::currentThread() != window_.thread()) {
        bool opened = false;
        OnWindowThread([&] { opened = OpenWithDefaultApplication(path); });
        return opened;
    }
    if (editorOpener_) {
        return editorOpener_(path);
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

FileDialogAnswer WidgetUi::AskOpenFile(const FileDialogRequest& request) {
    return AskFile(FileDialogKind::Open, request);
}

FileDialogAnswer WidgetUi::AskSaveFile(const FileDialogRequest& request) {
    return AskFile(FileDialogKind::Save, request);
}

FileDialogAnswer WidgetUi::AskFile(FileDialogKind kind, const FileDialogRequest& request) {
    if (QThread::currentThread() != window_.thread()) {
        FileDialogAnswer answer;
        OnWindowThread([&] { answer = AskFile(kind, request); });
        return answer;
    }
    if (fileDialogHook_) {
        return fileDialogHook_(kind, request);
    }
    QFileDialog dialog(&window_, request.title);
    // Qt's own dialog, unlike the desktop's, can show the filter text exactly as it stands while
    // it lists by other patterns: with the details hidden it shows the text in front of the last
    // pair of parentheses and lists by the patterns inside them.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList patterns =
        request.patterns.isEmpty() ? QStringList{QStringLiteral("*")} : request.patterns;
    dialog.setNameFilter(request.filterText + QStringLiteral(" (") +
                         patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
    if (kind == FileDialogKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        // A save dialog asks before it names an existing file unless told otherwise.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (!request.initialName.isEmpty()) {
        dialog.selectFile(request.initialName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {FileDialogAnswer::Kind::Cancelled, {}, {}};
    }

    const QString chosen = dialog.selectedFiles().value(0);
    if (chosen.isEmpty()) {
        return {
            FileDialogAnswer::Kind::Failed, {}, QStringLiteral("Es wurde keine Datei gewählt.")};
    }
    const QFileInfo info(chosen);
    // The dialog lets a typed path through unchecked; the file to open and the directory to save
    // into must exist.
    if (kind == FileDialogKind::Open && !info.isFile()) {
        return {FileDialogAnswer::Kind::Failed,
                {},
                QStringLiteral("Die Datei „%1“ existiert nicht.")
                    .arg(QDir::toNativeSeparators(chosen))};
    }
    if (kind == FileDialogKind::Save && !info.absoluteDir().exists()) {
        return {FileDialogAnswer::Kind::Failed,
                {},
                QStringLiteral("Das Verzeichnis „%1“ existiert nicht.")
                    .arg(QDir::toNativeSeparators(info.absolutePath()))};
    }
    return {FileDialogAnswer::Kind::Chosen, QDir::toNativeSeparators(info.absoluteFilePath()), {}};
}

void WidgetUi::ShowLocationDialog(Form1& form, const QString& title) {
    if (QThread::currentThread() != window_.thread()) {
        OnWindowThread([&] { ShowLocationDialog(form, title); });
        return;
    }
    if (locationDialogHook_) {
        locationDialogHook_(form, title);
        return;
    }
    Form2 dialog(form, title, &window_);
    // Opening already took the shown directory into the record, and every later choice does the
    // same; the main window shows each at once.
    StatusChanged();
    QObject::connect(&dialog, &Form2::LocationChanged, &dialog, [this] { StatusChanged(); });
    dialog.exec();
}

void WidgetUi::ShowAboutWindow() {
    if (QThread::currentThread() != window_.thread()) {
        OnWindowThread([this] { ShowAboutWindow(); });
        return;
    }
    if (aboutWindow_ == nullptr) {
        aboutWindow_ = new Form3(&window_);
    }
    aboutWindow_->show();
    aboutWindow_->raise();
    aboutWindow_->activateWindow();
}

}  // namespace trawlex
