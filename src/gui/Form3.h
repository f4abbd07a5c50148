#pragma once

#include <QWidget>

namespace trawlex {

// The about window: a picture the program draws itself, with a one-line credit on it. It has
// no logic and is closed with the close box; closing deletes it.
class Form3 final : public QWidget {
    Q_OBJECT

public:
    // The picture fills the client area.
    static constexpr int kPictureWidth = 362;
    static constexpr int kPictureHeight = 174;

    explicit Form3(QWidget* parent = nullptr);
};

}  // namespace trawlex
