#pragma once

#include "app/Form1.h"
#include "app/Ui.h"
#include "search/RunView.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace trawlex::test {

// A temporary directory tree that tests fill with files of exact bytes.
class TempTree {
public:
    TempTree();

    // The root path with a trailing separator, as bytes.
    std::string Root() const;
    QString RootText() const;

    // Writes a file (creating directories on the way) and returns its full path.
    std::string Write(std::string_view relative, std::string_view bytes) const;
    std::string MakeDirectory(std::string_view relative) const;
    std::string Path(std::string_view relative) const;

    // Every file below the root, hidden ones too, with its bytes, by relative path.
    std::map<std::string, std::string> Files() const;

private:
    QTemporaryDir directory_;
};

std::string ReadFile(const std::string& path);

// The piece `times` times over.
std::string Repeat(std::string_view piece, std::size_t times);

// The home directory with its trailing separator, where empty paths lead.
QString Home();

// A Ui without a window: it records messages and yields, and can ask a run to stop.
class FakeUi : public Ui, public RunView {
public:
    void ShowMessage(const QString& text, MessageIcon icon) override;
    RunView& Run() override { return *this; }
    Flow CheckStop() override;
    StopCheck WorkerStopCheck() override;
    void StatusChanged() override { ++statusChanges; }
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    bool OpenWithDefaultApplication(const QString& path) override;
    FileDialogAnswer AskOpenFile(const FileDialogRequest& request) override;
    FileDialogAnswer AskSaveFile(const FileDialogRequest& request) override;
    void ShowLocationDialog(Form1& form, const QString& title) override;
    void ShowAboutWindow() override {}
    void ResultsBegin(const ResultsHeading& heading) override { headings.push_back(heading); }
    void ShowFound(FoundFile file) override { found.push_back(std::move(file)); }

    QStringList messages;
    std::vector<ResultsHeading> headings;  // of each run that began, in turn
    std::vector<FoundFile> found;          // the rows of every run, in turn
    QStringList started;                   // program followed by its arguments, joined by "|"
    int yields = 0;
    int statusChanges = 0;
    int stopAfterYields = -1;      // the yield with this number (from 1) answers Stop
    bool stopInsideFiles = false;  // a worker's first question inside a big file asks to stop
    std::atomic<int> workerQuestions = 0;
    bool startSucceeds = true;
    std::function<void()> onYield;
    QStringList opened;  // files handed to the editor
    std::vector<FileDialogRequest> fileDialogs;
    int saveDialogs = 0;              // of the file dialogs, those that asked where to save
    FileDialogAnswer nextFileAnswer;  // what the next file dialog answers
    QStringList locationDialogs;      // titles of the directory dialogs shown
    QStringList nextDirectories;      // what the person picks in the next directory dialog
    QString locationDialogStart;      // where the last directory dialog opened
};

// A local wall-clock moment; daylight saving time is left for mktime to decide.
std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second);

// Makes the process use the German locale the expected texts are written in.
void UseGermanLocale();

// The set-up of a command's test: a location to fill, a report outside it, and a record that
// names both, under the German locale.
class CommandTest : public ::testing::Test {
protected:
    CommandTest();
    std::string Report() const { return ReadFile(form.TexZieldatei.toStdString()); }

    TempTree tree;
    TempTree reports;
    Form1 form;
    FakeUi ui;
};

}  // namespace trawlex::test
