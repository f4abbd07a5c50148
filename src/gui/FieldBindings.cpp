#include "FieldBindings.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringListModel>

#include <algorithm>

namespace trawlex {
namespace {

// The drop-down lists grow to their longest item, but never beyond this.
constexpr int kWidestPopup = 545;

QStringList ItemTexts(const QComboBox& combo) {
    QStringList texts;
    texts.reserve(combo.count());
    for (int index = 0; index < combo.count(); ++index) {
        texts.append(combo.itemText(index));
    }
    return texts;
}

// A narrow combo box would cut its items short in the drop-down list and in the list that
// offers earlier entries while typing; both are widened to the longest item.
void FitPopupToItems(QComboBox& combo) {
    QAbstractItemView& view = *combo.view();
    const int contents = view.sizeHintForColumn(0) + view.verticalScrollBar()->sizeHint().width() +
                         2 * view.frameWidth();
    view.setMinimumWidth(std::clamp(contents, 0, kWidestPopup));
    if (QCompleter* completer = combo.completer()) {
        completer->popup()->setMinimumWidth(std::clamp(contents, 0, kWidestPopup));
    }
}

// A command runs with exactly the text the person typed: the earlier entries are offered in a
// list below, with their case as typed, but never written into the field. Qt's own completion
// would fill in "Kontakt:" for a typed "kon" and run the search with that.
QCompleter* OfferingCompleter(QAbstractItemModel* model, QObject* parent) {
    auto* completer = new QCompleter(model, parent);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    return completer;
}

// A value wider than its field is whole in the tooltip.
void ShowWholeInTooltip(QLineEdit& edit) {
    const bool cut = edit.fontMetrics().horizontalAdvance(edit.text()) + 12 > edit.width();
    edit.setToolTip(cut ? edit.text() : QString());
}

// A value wider than its field is shown from its start, where a path's root, a mask or a code's
// number stands.
void ShowStart(QLineEdit& edit) {
    ShowWholeInTooltip(edit);
    if (!edit.hasFocus()) {
        edit.setCursorPosition(0);
    }
}

void WatchWidth(QLineEdit& edit) {
    QObject::connect(&edit, &QLineEdit::textChanged, &edit, [&edit] { ShowWholeInTooltip(edit); });
    QObject::connect(&edit, &QLineEdit::editingFinished, &edit, [&edit] { ShowStart(edit); });
}

QStringList Offers(const QStringList& own, const QStringList& history) {
    QStringList offers = own;
    for (const QString& entry : history) {
        if (!offers.contains(entry)) {
            offers.append(entry);
        }
    }
    return offers;
}

void SetOffers(QStringListModel* offers, const QStringList& entries) {
    if (offers != nullptr && offers->stringList() != entries) {
        offers->setStringList(entries);
    }
}

template <typename Button>
Button* Named(QWidget& parent, const QString& name, const QString& caption, const QRect& geometry) {
    auto* button = new Button(caption, &parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

}  // namespace

QComboBox* FieldBindings::AddCombo(QWidget& parent, const QString& name, const QRect& geometry,
                                   ComboField Form1::*field, QStringList Form1::*offered) {
    auto* combo = new QComboBox(&parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    // The lists belong to the record and change only through the commands; a typed text that
    // the combo box added on Enter would otherwise turn up in the list twice.
    combo->setInsertPolicy(QComboBox::NoInsert);
    QStringListModel* offers = offered != nullptr ? new QStringListModel(combo) : nullptr;
    combo->setCompleter(OfferingCompleter(
        offers != nullptr ? static_cast<QAbstractItemModel*>(offers) : combo->model(), combo));
    combo->setGeometry(geometry);
    WatchWidth(*combo->lineEdit());
    QObject::connect(combo, &QComboBox::textActivated, combo,
                     [combo] { ShowStart(*combo->lineEdit()); });
    combos_.push_back({combo, field, offered, offers});
    return combo;
}

QLineEdit* FieldBindings::AddTextBox(QWidget& parent, const QString& name, const QRect& geometry,
                                     QString Form1::*field, QStringList Form1::*offered) {
    auto* textBox = new QLineEdit(&parent);
    textBox->setObjectName(name);
    textBox->setGeometry(geometry);
    QStringListModel* offers = nullptr;
    if (offered != nullptr) {
        offers = new QStringListModel(textBox);
        textBox->setCompleter(OfferingCompleter(offers, textBox));
    }
    WatchWidth(*textBox);
    texts_.push_back({textBox, field, offered, offers});
    return textBox;
}

QRadioButton* FieldBindings::AddOption(QWidget& parent, const QString& name, const QString& caption,
                                       const QRect& geometry, bool Form1::*field) {
    auto* option = Named<QRadioButton>(parent, name, caption, geometry);
    options_.push_back({option, field});
    return option;
}

QCheckBox* FieldBindings::AddCheck(QWidget& parent, const QString& name, const QString& caption,
                                   const QRect& geometry, int Form1::*field) {
    auto* check = Named<QCheckBox>(parent, name, caption, geometry);
    checks_.push_back({check, field});
    return check;
}

void FieldBindings::Read(Form1& form) const {
    for (const Combo& binding : combos_) {
        ComboField& field = form.*binding.field;
        field.text = binding.widget->currentText();
        field.list = ItemTexts(*binding.widget);
    }
    for (const Text& binding : texts_) {
        form.*binding.field = binding.widget->text();
    }
    for (const Option& binding : options_) {
        form.*binding.field = binding.widget->isChecked();
    }
    for (const Check& binding : checks_) {
        form.*binding.field = binding.widget->isChecked() ? 1 : 0;
    }
}

void FieldBindings::Write(const Form1& form) {
    for (const Combo& binding : combos_) {
        QComboBox& combo = *binding.widget;
        const ComboField& field = form.*binding.field;
        if (ItemTexts(combo) != field.list) {
            const QSignalBlocker blocker(&combo);
            combo.clear();
            combo.addItems(field.list);
            FitPopupToItems(combo);
        }
        if (binding.offered != nullptr) {
            SetOffers(binding.offers, Offers(field.list, form.*binding.offered));
        }
        // Setting an unchanged text would move the cursor and drop a selection.
        if (combo.currentText() != field.text) {
            combo.setEditText(field.text);
        }
        ShowStart(*combo.lineEdit());
    }
    for (const Text& binding : texts_) {
        if (binding.offered != nullptr) {
            SetOffers(binding.offers, form.*binding.offered);
        }
        if (binding.widget->text() != form.*binding.field) {
            binding.widget->setText(form.*binding.field);
        }
        ShowStart(*binding.widget);
    }
    // Checking one option of a group unchecks the other, so only the selected one is set.
    for (const Option& binding : options_) {
        if (form.*binding.field) {
            binding.widget->setChecked(true);
        }
    }
    for (const Check& binding : checks_) {
        binding.widget->setChecked(form.*binding.field != 0);
    }
}

}  // namespace trawlex
