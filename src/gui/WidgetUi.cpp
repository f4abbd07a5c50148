#include "WidgetUi.h"

#include "Form2.h"
#include "Form3.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <QWidget>

#include <utility>

namespace trawlex {

WidgetUi::WidgetUi(QWidget& window, std::function<void()> statusChanged, RecordShown recordShown)
    : window_(window),
      statusChanged_(std::move(statusChanged)),
      recordShown_(std::move(recordShown)) {}

QString WidgetUi::MessageTitle() {
    return QStringLiteral("Trawlex");
}

void WidgetUi::ShowMessage(const QString& text, MessageIcon icon) {
    Q_ASSERT(QThread::currentThread() == window_.thread());
    lastMessage_ = text;
    if (messageHook_) {
        messageHook_(text, icon);
        return;
    }
    const QMessageBox::Icon boxIcon =
        icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    QMessageBox box(boxIcon, MessageTitle(), text, QMessageBox::Ok, &window_);
    box.exec();
}

void WidgetUi::StatusChanged() {
    Q_ASSERT(QThread::currentThread() == window_.thread());
    if (statusChanged_) {
        statusChanged_();
    }
}

bool WidgetUi::StartDetached(const QString& program, const QStringList& arguments) {
    Q_ASSERT(QThread::currentThread() == window_.thread());
    if (processStarter_) {
        return processStarter_(program, arguments);
    }
    return QProcess::startDetached(program, arguments);
}

bool WidgetUi::OpenWithDefaultApplication(const QString& path) {
    Q_ASSERT(QThread::currentThread() == window_.thread());
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
    Q_ASSERT(QThread::currentThread() == window_.thread());
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
        // A proposed path opens the dialog in its directory, when that still exists.
        const QFileInfo proposed(request.initialName);
        if (proposed.isAbsolute() && proposed.absoluteDir().exists()) {
            dialog.setDirectory(proposed.absolutePath());
        }
        dialog.selectFile(proposed.isAbsolute() ? proposed.fileName() : request.initialName);
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
    Q_ASSERT(QThread::currentThread() == window_.thread());
    if (locationDialogHook_) {
        locationDialogHook_(form, title);
        return;
    }
    Form2 dialog(form, title, &window_);
    // Opening already took the shown directory into the record, and every later choice does the
    // same; the main window shows each at once.
    const auto show = [this, &form] {
        if (recordShown_) {
            recordShown_(form);
        }
    };
    show();
    QObject::connect(&dialog, &Form2::LocationChanged, &dialog, show);
    dialog.exec();
}

void WidgetUi::ShowAboutWindow() {
    Q_ASSERT(QThread::currentThread() == window_.thread());
    if (aboutWindow_ == nullptr) {
        aboutWindow_ = new Form3(&window_);
    }
    aboutWindow_->show();
    aboutWindow_->raise();
    aboutWindow_->activateWindow();
}

}  // namespace trawlex
