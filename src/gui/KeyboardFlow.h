#pragma once

#include <functional>

class QComboBox;
class QPushButton;
class QShortcut;
class QWidget;

namespace trawlex {

// What the keys of the window reach.
struct KeyTargets {
    QWidget& window;
    QComboBox& term;      // TexSuchbegriff
    QPushButton& search;  // butSuchen
    std::function<void()> stop;
    std::function<void(int direction)> stepHit;  // +1 next hit line, -1 previous
};

// The window's keys: Enter in the term searches, Ctrl+F goes to the term, F3 and Shift+F3 step
// through the hit lines, Esc stops a run (the shortcut it returns is enabled only while one
// runs); the main buttons get their Alt keys and every command button a tooltip.
QShortcut* InstallKeyboardFlow(const KeyTargets& targets);

}  // namespace trawlex
