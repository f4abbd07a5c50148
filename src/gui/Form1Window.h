#pragma once

#include "WidgetUi.h"
#include "app/Form1.h"
#include "search/SearchCommand.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QRect;
class QShortcut;
class QTimer;

namespace trawlex {

// The main window. Its widgets show the state record `Form1`; before a command runs the window
// copies the widgets into the record, and afterwards it copies the record back, so the commands
// never touch a widget and run the same without a window.
class Form1Window final : public QWidget {
    Q_OBJECT

public:
    using Command = std::function<CommandOutcome(Form1&, Ui&)>;

    explicit Form1Window(QWidget* parent = nullptr);

    Form1& Record() { return record_; }
    WidgetUi& WindowUi() { return ui_; }

    // Brings the record into its starting state, with the settings file at `settingsPath` when
    // it exists, and shows it; called once, before show(). "INI-Datei speichern" writes there.
    void Form_Load(const std::string& settingsPath);

    // Copies every input widget into the record.
    void ReadWidgets();
    // Copies the record into every widget, the status label and the blink timer included.
    void WriteWidgets();

    // Runs one command on the widgets' current inputs. The inputs stay disabled until it
    // returns, so that the command sees one consistent set of them.
    CommandOutcome RunCommand(const Command& command);
    bool CommandRunning() const { return commandRunning_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct ComboBinding {
        QComboBox* widget;
        ComboField Form1::*field;
    };
    struct TextBinding {
        QLineEdit* widget;
        QString Form1::*field;
    };
    struct OptionBinding {
        QRadioButton* widget;
        bool Form1::*field;
    };

    void BuildSearchRows();
    void BuildOptionRows();
    void BuildResultFrame();
    void BuildSpecialCharacterRows();
    void ConnectCommands();

    QLabel* AddLabel(QWidget& parent, const QString& name, const QString& caption,
                     const QRect& geometry);
    QComboBox* AddCombo(QWidget& parent, const QString& name, const QRect& geometry,
                        ComboField Form1::*field);
    QLineEdit* AddTextBox(QWidget& parent, const QString& name, const QRect& geometry,
                          QString Form1::*field);
    QPushButton* AddButton(QWidget& parent, const QString& name, const QString& caption,
                           const QRect& geometry);
    QRadioButton* AddOption(QWidget& parent, const QString& name, const QString& caption,
                            const QRect& geometry, bool Form1::*field);
    QGroupBox* AddFrame(const QString& name, const QString& caption, const QRect& geometry);

    void WriteStatus();
    void OnStatusChanged();
    void SetInputsEnabled(bool enabled);

    Form1 record_;
    WidgetUi ui_;

    std::vector<ComboBinding> combos_;
    std::vector<TextBinding> textBoxes_;
    std::vector<OptionBinding> options_;
    QCheckBox* checkRekursiv_ = nullptr;
    QCheckBox* checkRegex_ = nullptr;
    // Everything the person can type into, choose or press; disabled while a command runs.
    std::vector<QWidget*> inputs_;

    QPushButton* comSaveIni_ = nullptr;
    QComboBox* comDateifilter_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer1_ = nullptr;
    QShortcut* stopShortcut_ = nullptr;

    std::string settingsPath_;
    bool commandRunning_ = false;
    bool closeRequested_ = false;
};

}  // namespace trawlex
