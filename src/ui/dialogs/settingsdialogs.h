#pragma once

#include "ui/dialogs/choicedialog.h"

namespace tarn::ui {

// `Baud_Rate_Form`: the line speed; applying it reopens an open port at the new speed.
class BaudRateDialog final : public ChoiceDialog {
    Q_OBJECT

public:
    BaudRateDialog(core::Panel& panel, const settings::WindowPlacement& anchor);
};

// `Polling_rate_form`: the poll period; applying it retunes the running poll timer.
class PollingRateDialog final : public ChoiceDialog {
    Q_OBJECT

public:
    PollingRateDialog(core::Panel& panel, const settings::WindowPlacement& anchor);
};

// `Time_Out_Form`: how long silence lasts before "No Communication"; takes effect at the
// poll cycle's next re-arm.
class TimeOutDialog final : public ChoiceDialog {
    Q_OBJECT

public:
    TimeOutDialog(core::Panel& panel, const settings::WindowPlacement& anchor);
};

} // namespace tarn::ui
