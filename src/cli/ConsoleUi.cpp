#include "ConsoleUi.h"

#include <QProcess>

#include <csignal>
#include <cstdio>

namespace trawlex {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

}  // namespace

void ConsoleUi::ShowMessage(const QString& text, MessageIcon) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

Flow ConsoleUi::YieldToEventLoop() {
    return interrupted != 0 ? Flow::Stop : Flow::Continue;
}

bool ConsoleUi::StartDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

void ConsoleUi::StopOnInterrupt() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

}  // namespace trawlex
