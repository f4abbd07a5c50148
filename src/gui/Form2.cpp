#include "Form2.h"

#include "app/Form1.h"
#include "dialogs/Dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace trawlex {
namespace {

// File systems that hold no files of the person's own: kernel interfaces, memory-backed
// scratch space, container layers and read-only package images. A drive list full of them would
// hide the few real drives.
bool IsPseudoFileSystem(const QByteArray& type) {
    static const QByteArray kPseudo[] = {
        "autofs",          "binfmt_misc", "bpf",           "cgroup",   "cgroup2", "configfs",
        "debugfs",         "devpts",      "devtmpfs",      "efivarfs", "fusectl", "hugetlbfs",
        "mqueue",          "nsfs",        "overlay",       "proc",     "pstore",  "ramfs",
        "rpc_pipefs",      "securityfs",  "squashfs",      "sysfs",    "tmpfs",   "tracefs",
        "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse",
    };
    return std::find(std::begin(kPseudo), std::end(kPseudo), type) != std::end(kPseudo);
}

bool HoldsStorage(const QStorageInfo& volume) {
    // A bind mount of a single file (as containers mount their /etc/hosts) is no drive.
    return volume.isValid() && volume.isReady() && !volume.device().isEmpty() &&
           !IsPseudoFileSystem(volume.fileSystemType()) && volume.bytesTotal() > 0 &&
           QFileInfo(volume.rootPath()).isDir();
}

// A volume is shown by its root path and its name; a volume without a name by its device.
QString DriveCaption(const QStorageInfo& volume) {
    QString name = volume.name();
    if (name.isEmpty()) {
        name = QFileInfo(QString::fromLocal8Bit(volume.device())).fileName();
    }
    const QString root = QDir::toNativeSeparators(volume.rootPath());
    return name.isEmpty() ? root : QStringLiteral("%1  (%2)").arg(root, name);
}

// The model alone takes folder icons from the desktop's icon theme only; this provider falls back
// on the style's icons where there is no theme. It outlives every dialog.
QFileIconProvider& FolderIcons() {
    static QFileIconProvider provider;
    return provider;
}

// A model path in the platform's form: without a trailing separator except at a root.
QString PlatformPath(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

// The directory the dialog can show for the one it is asked to show. An empty path means the
// current directory, as wherever a path is listed; a path that is not a directory (a file, or
// nothing any more) gives way to the nearest directory above it.
QString ExistingDirectory(const QString& wanted) {
    QString path =
        wanted.isEmpty()
            ? QDir::currentPath()
            : QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(wanted)).absoluteFilePath());
    while (!QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path) {
            return QDir::homePath();
        }
        path = parent;
    }
    return path;
}

// Whether `path` is `root` or lies below it.
bool IsOnVolume(const QString& path, const QString& root) {
    if (root.endsWith(QLatin1Char('/'))) {
        return path.startsWith(root) || path == root.chopped(1);
    }
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

}  // namespace

Form2::Form2(Form1& form, const QString& title, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName(QStringLiteral("Form2"));
    // A modal dialog cannot be minimised away from the window that waits for it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(title);
    resize(420, 440);
    setMinimumSize(300, 280);

    drive1_ = new QComboBox(this);
    drive1_->setObjectName(QStringLiteral("Drive1"));

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    model_->setIconProvider(&FolderIcons());
    model_->setRootPath(QDir::rootPath());

    dir1_ = new QTreeView(this);
    dir1_->setObjectName(QStringLiteral("Dir1"));
    dir1_->setModel(model_);
    dir1_->setHeaderHidden(true);
    // Only the names matter here; size, type and date would push them out of sight.
    for (int column = 1; column < model_->columnCount(); ++column) {
        dir1_->hideColumn(column);
    }
    dir1_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    dir1_->header()->setStretchLastSection(false);
    dir1_->setUniformRowHeights(true);

    auto* close = new QPushButton(QStringLiteral("Schließen"), this);
    close->setObjectName(QStringLiteral("butSchliessen"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drive1_);
    layout->addWidget(dir1_, 1);
    layout->addLayout(buttons);

    // The dialog opens showing the target and its drive. Nothing is connected yet, so selecting
    // the drive cannot move the folder tree away from the target, and the target reaches the
    // record once, below.
    const QString target = ExistingDirectory(Form2_Load(form_));
    FillDrives(target);
    if (!ShowDirectory(target)) {
        ShowDirectory(QDir::homePath());
    }
    SelectDriveOf(Path());
    Apply(Path());

    // A drive chosen again takes the tree back to its root, so the choice, not a change of the
    // list's index, is what counts; the dialog's own updates of the list choose nothing.
    connect(drive1_, &QComboBox::activated, this, &Form2::Drive1_Change);
    connect(dir1_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Form2::OnCurrentDirectoryChanged);
    connect(model_, &QFileSystemModel::rowsInserted, this, &Form2::KeepSelectionInSight);
    connect(model_, &QFileSystemModel::layoutChanged, this, &Form2::KeepSelectionInSight);
    connect(model_, &QFileSystemModel::directoryLoaded, this, &Form2::KeepSelectionInSight);
    // A click, a turn of the wheel or a move of the scroll bar is the person's own doing.
    dir1_->viewport()->installEventFilter(this);
    connect(dir1_->verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { following_ = false; });
}

void Form2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only now has the tree its final size, so only now can the selection be put in its middle.
    dir1_->scrollTo(dir1_->currentIndex(), QAbstractItemView::PositionAtCenter);
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel) {
        following_ = false;
    }
    return QDialog::eventFilter(watched, event);
}

QString Form2::Path() const {
    const QModelIndex current = dir1_->currentIndex();
    return current.isValid() ? PlatformPath(model_->filePath(current)) : QString();
}

QString Form2::Drive() const {
    return QDir::toNativeSeparators(drive1_->currentData().toString());
}

void Form2::FillDrives(const QString& target) {
    QList<QStorageInfo> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (HoldsStorage(volume)) {
            volumes.append(volume);
        }
    }
    // The root and the target's own volume stand in the list even when they look like pseudo
    // file systems, as the root of a container does: the dialog must be able to show them.
    for (const QStorageInfo& needed : {QStorageInfo::root(), QStorageInfo(target)}) {
        const bool listed = std::any_of(volumes.begin(), volumes.end(), [&](const auto& volume) {
            return volume.rootPath() == needed.rootPath();
        });
        if (needed.isValid() && !listed) {
            volumes.append(needed);
        }
    }
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
        return a.rootPath() < b.rootPath();
    });
    drive1_->clear();
    for (const QStorageInfo& volume : volumes) {
        drive1_->addItem(DriveCaption(volume), volume.rootPath());
    }
}

void Form2::SelectDriveOf(const QString& path) {
    // Volumes nest (a stick below /media on the root's volume): the deepest root holding the
    // path is its drive.
    const QString modelPath = QDir::fromNativeSeparators(path);
    int best = -1;
    qsizetype bestLength = -1;
    for (int index = 0; index < drive1_->count(); ++index) {
        const QString root = drive1_->itemData(index).toString();
        if (IsOnVolume(modelPath, root) && root.size() > bestLength) {
            best = index;
            bestLength = root.size();
        }
    }
    drive1_->setCurrentIndex(best);
}

bool Form2::ShowDirectory(const QString& path) {
    const QModelIndex index = model_->index(QDir::fromNativeSeparators(path));
    if (!index.isValid()) {
        return false;
    }
    moving_ = true;
    dir1_->setCurrentIndex(index);
    moving_ = false;
    // Its subdirectories are what the person is most likely to pick next.
    dir1_->expand(index);
    dir1_->scrollTo(index, QAbstractItemView::PositionAtCenter);
    following_ = true;
    return true;
}

void Form2::Drive1_Change(int index) {
    // A drive that vanished since the list was made keeps the tree where it was.
    const bool shown = index >= 0 && ShowDirectory(drive1_->itemData(index).toString());
    SelectDriveOf(Path());
    if (shown) {
        Apply(Path());
    }
}

void Form2::OnCurrentDirectoryChanged(const QModelIndex& current) {
    if (moving_ || !current.isValid()) {
        return;
    }
    const QString path = PlatformPath(model_->filePath(current));
    SelectDriveOf(path);
    Apply(path);
}

void Form2::KeepSelectionInSight() {
    if (!following_ || scrollPosted_) {
        return;
    }
    // The rows arrive in bursts, and the tree lays them out only afterwards; one scroll once
    // they are in serves the whole burst.
    scrollPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        scrollPosted_ = false;
        if (following_) {
            dir1_->scrollTo(dir1_->currentIndex(), QAbstractItemView::PositionAtCenter);
        }
    });
}

void Form2::Apply(const QString& path) {
    Dir1_Change(form_, path);
    Q_EMIT LocationChanged();
}

}  // namespace trawlex
