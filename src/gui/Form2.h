#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QFileSystemModel;
class QModelIndex;
class QTreeView;

namespace trawlex {

struct Form1;

// The directory dialog: a drive list above a folder tree. What a chosen directory changes
// depends on the record's LocationDialogMode; every choice takes effect at once through
// Dir1_Change, and closing the window ends the choice, so there is nothing to confirm or undo.
class Form2 final : public QDialog {
    Q_OBJECT

public:
    // Opens on the directory that Form2_Load names for the mode, with its drive selected, and
    // takes that directory into the record once, as every later choice will be.
    Form2(Form1& form, const QString& title, QWidget* parent = nullptr);

    // The selected directory as the platform writes it: without a trailing separator, except at
    // the root of a drive.
    QString Path() const;
    // The root path of the drive selected in the drive list.
    QString Drive() const;

Q_SIGNALS:
    // The record changed: a drive or a directory was chosen.
    void LocationChanged();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillDrives(const QString& target);
    void SelectDriveOf(const QString& path);
    bool ShowDirectory(const QString& path);
    void Drive1_Change(int index);
    void OnCurrentDirectoryChanged(const QModelIndex& current);
    void KeepSelectionInSight();
    void Apply(const QString& path);

    Form1& form_;
    QComboBox* drive1_ = nullptr;
    QFileSystemModel* model_ = nullptr;
    QTreeView* dir1_ = nullptr;
    // Set while the dialog itself moves the folder tree, so that the move reaches the record
    // exactly once.
    bool moving_ = false;
    // The tree fills in the background, and every directory listed above the selection pushes
    // it down. Until the person takes the tree in hand, the dialog brings the selection back.
    bool following_ = true;
    bool scrollPosted_ = false;
};

}  // namespace trawlex
