#pragma once

#include "common/Result.h"
#include "search/HitLines.h"

#include <QFontMetrics>
#include <QPlainTextEdit>

#include <cstdint>
#include <vector>

namespace trawlex {

// The lines of one result file that hold its hits, each hit marked, each line led by its number.
// F3 and Shift+F3 step from hit line to hit line; Enter or a double click opens the file at the
// chosen line. Control characters are shown as the control pictures of Unicode where the font
// has them, and as their short names ("CR", "LF") where it does not.
class HitLinesView final : public QPlainTextEdit {
    Q_OBJECT

public:
    // Where the next filled file puts the chosen line: nowhere, at its first or at its last line.
    enum class Placement {
        None,
        First,
        Last,
    };

    explicit HitLinesView(QWidget* parent = nullptr);

    // Shows a file's lines; `shownPath` names it where it no longer holds its hits.
    void Fill(const Result<FileHitLines>& lines, const QString& shownPath);
    // Shows a note instead of lines, in the colour of the line numbers.
    void ShowNote(const QString& note);
    void Reset();
    void PlaceNext(Placement placement) { placement_ = placement; }

    // Chooses the next (+1) or previous (-1) hit line; false when there is none in that
    // direction, so that the caller can go on in the next file.
    bool Step(int direction);

    // The line number the chosen line holds, or of the first line when none is chosen; 0 when
    // no line is shown.
    std::int64_t ChosenLine() const;

    // The short name a control picture stands for ("CR" for U+240D); empty for other characters.
    static QString ControlName(QChar picture);

Q_SIGNALS:
    // The person asked to open the file at this line.
    void openLine(std::int64_t line);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void InsertShown(QTextCursor& cursor, const QString& text, const QTextCharFormat& format,
                     const QFontMetrics& metrics);
    void Choose(int block);

    // A marked hit: its block and where it stands in the document.
    struct ShownMark {
        int block;
        int begin;
        int end;
    };

    std::vector<std::int64_t> lineNumbers_;  // per block
    std::vector<ShownMark> marks_;
    int chosen_ = -1;  // the block F3 stands on
    Placement placement_ = Placement::None;
};

}  // namespace trawlex
