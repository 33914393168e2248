#include "ui/dialogs/settingsdialogs.h"

#include "core/panel.h"

namespace tarn::ui {

namespace {

ChoiceDialogDesign baudRateDesign() {
    return {
        .formName = "Baud_Rate_Form",
        .caption = " Baud Rate",
        .clientTwips = {4815, 2535},
        .offsetTwips = {300, 2000},
        .frameTitle = "Select Baud Rate",
        .frameTwips = {180, 180, 1635, 2175},
        .optionName = "BaudRate_Option",
        .labelName = "Option_txt",
        .firstIndex = 0,
        .optionLeft = 180,
        .labelLeft = 330,
        .choices = {{"9600", 9600, 600, 8},
                    {"19200", 19200, 600, 7},
                    {"38400", 38400, 600, 6},
                    {"57600", 57600, 600, 5},
                    {"115200", 115200, 600, 4}},
        .ok = {"Ok_Command", "Ok", {1980, 2040, 735, 315}, 0},
        .cancel = {"Cancel_Command", "Cancel", {2940, 2040, 735, 315}, 2},
        .apply = {"Command1", "Apply", {3900, 2040, 735, 315}, 3},
        .notes = {{"Label11",
                   "This setting defines the COM baud rate. Select the same baud rate for COM2 "
                   "in TARN VQ4400.",
                   {1920, 180, 2805, 615}}},
        .applyChoice = &core::Panel::applyBaudRate,
        .current = &settings::Settings::BaudRate,
    };
}

ChoiceDialogDesign pollingRateDesign() {
    ChoiceDialogDesign d{
        .formName = "Polling_rate_form",
        .caption = " Polling Rate",
        .clientTwips = {4785, 5025},
        .offsetTwips = {3400, 100},
        .frameTitle = "Select Polling Rate",
        .frameTwips = {180, 180, 1815, 4665},
        .optionName = "Polling_Rate_Option",
        .labelName = "Select",
        .firstIndex = 1,
        .optionLeft = 180,
        .labelLeft = 310,
        .choices = {},
        .ok = {"Ok_Command", "Ok", {2100, 4500, 735, 315}, 12},
        .cancel = {"Cancel_Command", "Cancel", {3000, 4500, 735, 315}, 13},
        .apply = {"Apply_Command", "Apply", {3900, 4500, 735, 315}, 14},
        .notes = {{"Label_txt_1",
                   "This setting defines how often the data is polled from TARN VQ4400.",
                   {2070, 180, 2595, 435}},
                  {"Label_txt_2",
                   "Faster polling rates are intended for local serial communication. Slower "
                   "polling rates are intended for remote polling over internet.",
                   {2100, 720, 2595, 1215}}},
        .applyChoice = &core::Panel::applyPolling,
        .current = &settings::Settings::Polling,
    };
    static constexpr const char* texts[] = {"10 ms", "20 ms", "30 ms", "40 ms",  "50 ms", "60 ms",
                                            "70 ms", "80 ms", "90 ms", "100 ms", "200 ms"};
    for (int i = 0; i < 11; ++i)
        d.choices.push_back({texts[i], i < 10 ? 10 * (i + 1) : 200, 600, i + 1});
    // The test rate comes last in the tab order, after the buttons.
    d.choices.push_back({"1 s (For test use)", 1000, 1260, 27});
    return d;
}

ChoiceDialogDesign timeOutDesign() {
    return {
        .formName = "Time_Out_Form",
        .caption = " Time Out ",
        .clientTwips = {5205, 2535},
        .offsetTwips = {3000, 2000},
        .frameTitle = "Select Time Out Time",
        .frameTwips = {180, 180, 1935, 2175},
        .optionName = "TimeOut_Option",
        .labelName = "Option_txt",
        .firstIndex = 0,
        .optionLeft = 180,
        .labelLeft = 300,
        .choices = {{"0.2 s", 200, 495, 8},
                    {"0.5 s", 500, 495, 7},
                    {"1.0 s", 1000, 495, 6},
                    {"2.0 s", 2000, 495, 5},
                    {"OFF (For test use)", 0, 1410, 4}},
        .ok = {"Ok_Command", "Ok", {2340, 2040, 735, 315}, 0},
        .cancel = {"Cancel_Command", "Cancel", {3300, 2040, 735, 315}, 2},
        .apply = {"Command1", "Apply", {4260, 2040, 735, 315}, 3},
        .notes = {{"Label5",
                   "This setting defines the communication time out. If there is no valid data "
                   "available in the defined time the display will show \"No Communication\"",
                   {2280, 180, 2775, 1065}}},
        .applyChoice = &core::Panel::applyTimeOut,
        .current = &settings::Settings::TimeOut,
    };
}

} // namespace

BaudRateDialog::BaudRateDialog(core::Panel& panel, const settings::WindowPlacement& anchor)
    : ChoiceDialog(baudRateDesign(), panel, anchor) {}

PollingRateDialog::PollingRateDialog(core::Panel& panel, const settings::WindowPlacement& anchor)
    : ChoiceDialog(pollingRateDesign(), panel, anchor) {}

TimeOutDialog::TimeOutDialog(core::Panel& panel, const settings::WindowPlacement& anchor)
    : ChoiceDialog(timeOutDesign(), panel, anchor) {}

} // namespace tarn::ui
