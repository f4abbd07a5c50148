#include "ConsoleUi.h"

#include "common/StopRequest.h"

#include <QProcess>

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace trawlex {
namespace {

volatile std::sig_atomic_t interrupted = 0;

// The first signal stops the run after the current file or inside a big one; a second one ends
// the program at once, for a person who will not wait.
extern "C" void OnInterrupt(int signalNumber) {
    interrupted = 1;
    RequestStop();
    std::signal(signalNumber, SIG_DFL);
}

}  // namespace

ConsoleUi::ConsoleUi()
    : progressShown_(isatty(STDERR_FILENO) != 0), started_(std::chrono::steady_clock::now()) {}

ConsoleUi::~ConsoleUi() {
    ClearProgress();
}

void ConsoleUi::ResultsBegin(const ResultsHeading& heading) {
    searching_ = !IsReplacement(heading.kind);
    if (output_) {
        output_->Begin(heading);
    }
}

void ConsoleUi::ShowFound(FoundFile found) {
    if (output_) {
        output_->Found(found);
    }
}

void ConsoleUi::NoteProblem(const RunProblem& problem) {
    if (output_) {
        output_->Problem(problem);
    }
}

void ConsoleUi::FinishResults() {
    if (!output_) {
        return;
    }
    output_->Finish();
    if (output_->Broken()) {
        ShowMessage(QStringLiteral("Die Ergebnisse konnten nicht vollst\u00E4ndig auf die "
                                   "Standardausgabe geschrieben werden."),
                    MessageIcon::Warning);
    }
}

void ConsoleUi::ShowProgress(const RunProgress& progress) {
    if (output_) {
        output_->Progress(progress);
    }
    if (!progressShown_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - drawn_ < std::chrono::milliseconds(100)) {
        return;
    }
    drawn_ = now;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - started_).count();
    const std::int64_t tenths = progress.bytes * 10 / 1'000'000;
    std::fprintf(stderr, "\r%lld Dateien, %lld,%lld MB, %lld mit Fundstellen, %lld s\x1b[K",
                 static_cast<long long>(progress.files), static_cast<long long>(tenths / 10),
                 static_cast<long long>(tenths % 10), static_cast<long long>(progress.hits),
                 static_cast<long long>(seconds));
    std::fflush(stderr);
    lineDrawn_ = true;
}

void ConsoleUi::ClearProgress() {
    if (lineDrawn_) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        lineDrawn_ = false;
    }
}

void ConsoleUi::ShowMessage(const QString& text, MessageIcon) {
    ClearProgress();
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

Flow ConsoleUi::CheckStop() {
    // A replacement goes on to its end; a search whose results nobody reads any more need not.
    if (searching_ && output_ && output_->Broken()) {
        return Flow::Stop;
    }
    return interrupted != 0 ? Flow::Stop : Flow::Continue;
}

StopCheck ConsoleUi::WorkerStopCheck() {
    return StopCheck(ProcessStopFlag());
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
    // A reader of stdout that goes away (`| head`) ends the output, not the program: a
    // replacement must not end between two files unannounced.
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace trawlex
