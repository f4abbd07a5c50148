#include "ConsoleUi.h"

#include <QProcess>

#include <csignal>
#include <cstdio>

namespace trawlex {
namespace {

volatile std::sig_atomic_t interrupted = 0;

// The first signal stops the run after the current file; a second one ends the program at
// once, for a person who will not wait.
extern "C" void OnInterrupt(int signalNumber) {
    interrupted = 1;
    std::signal(signalNumber, SIG_DFL);
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
    std::signal(SIGHUP, OnInterrupt);
    // A file-size limit makes a write fail, which is reported, instead of killing the program
    // with its temporary files left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace trawlex
