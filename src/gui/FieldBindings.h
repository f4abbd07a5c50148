#pragma once

#include "app/Form1.h"

#include <QString>
#include <QStringList>

#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QRect;
class QStringListModel;
class QWidget;

namespace trawlex {

// The input widgets of the window and the fields of the record they show. Reading copies every
// widget into the record; writing copies the record into the widgets, touching only what
// differs, so that a cursor and a selection survive. A field too narrow for its value shows the
// value's start, and the whole value as its tooltip.
class FieldBindings {
public:
    // `offered` is a history the field offers while the person types, beside its own list.
    QComboBox* AddCombo(QWidget& parent, const QString& name, const QRect& geometry,
                        ComboField Form1::*field, QStringList Form1::*offered = nullptr);
    QLineEdit* AddTextBox(QWidget& parent, const QString& name, const QRect& geometry,
                          QString Form1::*field, QStringList Form1::*offered = nullptr);
    QRadioButton* AddOption(QWidget& parent, const QString& name, const QString& caption,
                            const QRect& geometry, bool Form1::*field);
    QCheckBox* AddCheck(QWidget& parent, const QString& name, const QString& caption,
                        const QRect& geometry, int Form1::*field);

    void Read(Form1& form) const;
    void Write(const Form1& form);

private:
    struct Combo {
        QComboBox* widget;
        ComboField Form1::*field;
        QStringList Form1::*offered;
        QStringListModel* offers;  // the list and the history, for the completer
    };
    struct Text {
        QLineEdit* widget;
        QString Form1::*field;
        QStringList Form1::*offered;
        QStringListModel* offers;
    };
    struct Option {
        QRadioButton* widget;
        bool Form1::*field;
    };
    struct Check {
        QCheckBox* widget;
        int Form1::*field;
    };

    std::vector<Combo> combos_;
    std::vector<Text> texts_;
    std::vector<Option> options_;
    std::vector<Check> checks_;
};

}  // namespace trawlex
