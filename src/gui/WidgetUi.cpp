#include "WidgetUi.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QWidget>

#include <utility>

namespace trawlex {

WidgetUi::WidgetUi(QWidget& window, std::function<void()> statusChanged)
    : window_(window), statusChanged_(std::move(statusChanged)) {}

QString WidgetUi::MessageTitle() {
    return QStringLiteral("Trawlex");
}

void WidgetUi::ShowMessage(const QString& text, MessageIcon icon) {
    if (messageHook_) {
        messageHook_(text, icon);
        return;
    }
    const QMessageBox::Icon boxIcon =
        icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    QMessageBox box(boxIcon, MessageTitle(), text, QMessageBox::Ok, &window_);
    box.exec();
}

Flow WidgetUi::YieldToEventLoop() {
    if (!sinceLastYield_.isValid() || sinceLastYield_.elapsed() >= kYieldIntervalMilliseconds) {
        QCoreApplication::processEvents();
        sinceLastYield_.start();
    }
    // A skipped yield still answers a stop that an earlier one took in.
    return stopRequested_ ? Flow::Stop : Flow::Continue;
}

void WidgetUi::StatusChanged() {
    if (statusChanged_) {
        statusChanged_();
    }
}

bool WidgetUi::StartDetached(const QString& program, const QStringList& arguments) {
    if (processStarter_) {
        return processStarter_(program, arguments);
    }
    return QProcess::startDetached(program, arguments);
}

}  // namespace trawlex
