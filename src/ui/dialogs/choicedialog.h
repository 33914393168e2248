#pragma once

#include "settings/settings.h"

#include <QRect>
#include <QSize>
#include <QWidget>
#include <optional>
#include <vector>

class QPushButton;
class QRadioButton;

namespace tarn::core {
class Panel;
}

namespace tarn::ui {

// One row of a choice dialog: a bare option button and the text beside it, which selects the
// option when clicked.
struct ChoiceDesign {
    const char* text;
    int value;
    int labelWidth; // twips
    int tabOrder;   // of the option button
};

struct ButtonDesign {
    const char* name;
    const char* caption;
    QRect twips;
    int tabOrder;
};

// Static explanatory text, wrapped inside its box.
struct NoteDesign {
    const char* name;
    const char* text;
    QRect twips;
};

struct ChoiceDialogDesign {
    const char* formName;
    const char* caption;
    QSize clientTwips;
    QPoint offsetTwips; // from the main window's top-left corner
    const char* frameTitle;
    QRect frameTwips;
    // Array names; members are named `<name>_<index>` and carry an "index" property.
    const char* optionName;
    const char* labelName;
    int firstIndex;
    int optionLeft;
    int labelLeft;
    std::vector<ChoiceDesign> choices;
    ButtonDesign ok;
    ButtonDesign cancel;
    ButtonDesign apply;
    std::vector<NoteDesign> notes;
    // Stores the choice (nullopt: keep the current value), acts on it and saves.
    void (core::Panel::*applyChoice)(std::optional<int>);
    // The setting the preselection looks for.
    int settings::Settings::*current;
};

// The settings dialogs' common shape: a frame of options, Ok, Cancel and Apply, and a few
// lines of explanation. Non-modal; one instance lives for the whole run and is "loaded" afresh
// each time it is opened after a close, so it always starts from the current setting.
class ChoiceDialog : public QWidget {
    Q_OBJECT

public:
    ~ChoiceDialog() override;

    ChoiceDialog(const ChoiceDialog&) = delete;
    ChoiceDialog& operator=(const ChoiceDialog&) = delete;

    // The menu item: loads the dialog when it is closed, then brings it up.
    void open();

    // The value of the first selected option, nullopt when none is.
    std::optional<int> chosenValue() const;

protected:
    ChoiceDialog(ChoiceDialogDesign design, core::Panel& panel,
                 const settings::WindowPlacement& anchor);

private:
    void build();
    void load();
    void apply();
    void select(std::size_t row);
    void clearOptions();

    ChoiceDialogDesign design_;
    core::Panel& panel_;
    const settings::WindowPlacement& anchor_;

    std::vector<QRadioButton*> options_;
    QPushButton* cancel_ = nullptr;
    QWidget* firstInTabOrder_ = nullptr;
};

} // namespace tarn::ui
