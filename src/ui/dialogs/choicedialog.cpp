#include "ui/dialogs/choicedialog.h"

#include "core/panel.h"
#include "ui/dialogs/dialogwindow.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/keypreview.h"
#include "ui/panellabel.h"
#include "ui/twips.h"

#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <functional>
#include <utility>

namespace tarn::ui {

namespace {

constexpr int OptionTop = 300;
constexpr int LabelTop = 330;
constexpr int RowPitch = 360;
constexpr int OptionWidth = 195;
constexpr int OptionHeight = 255;
constexpr int LabelHeight = 195;

// The text beside an option button: a click on it counts as a click on the button.
class OptionText final : public QLabel {
public:
    OptionText(const QString& text, std::function<void()> onClick, QWidget* parent)
        : QLabel(text, parent), onClick_(std::move(onClick)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        event->accept();
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            onClick_();
    }

private:
    std::function<void()> onClick_;
};

} // namespace

ChoiceDialog::ChoiceDialog(ChoiceDialogDesign design, core::Panel& panel,
                           const settings::WindowPlacement& anchor)
    : QWidget(nullptr, dialogWindowFlags()), design_(std::move(design)), panel_(panel),
      anchor_(anchor) {
    build();
    new EscapePreview(*this, [this] { close(); });
}

ChoiceDialog::~ChoiceDialog() = default;

void ChoiceDialog::build() {
    setObjectName(QString::fromLatin1(design_.formName));
    setWindowTitle(QString::fromLatin1(design_.caption));
    setWindowIcon(applicationIcon());
    setFont(defaultPanelFont());

    auto* frame = new QGroupBox(QString::fromLatin1(design_.frameTitle), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    const QRect f = design_.frameTwips;
    frame->setGeometry(pxRect(f.x(), f.y(), f.width(), f.height()));

    std::vector<std::pair<int, QWidget*>> tabChain;
    for (std::size_t row = 0; row < design_.choices.size(); ++row) {
        const ChoiceDesign& c = design_.choices[row];
        const int index = design_.firstIndex + int(row);
        const QString suffix = QLatin1Char('_') + QString::number(index);

        // Only the round button; its text is the label beside it.
        auto* option = new QRadioButton(frame);
        option->setObjectName(QString::fromLatin1(design_.optionName) + suffix);
        option->setProperty("index", index);
        // Its text stands beside it; a screen reader hears it as the button's own.
        option->setAccessibleName(QString::fromUtf8(c.text));
        option->setGeometry(
            pxRect(design_.optionLeft, OptionTop + RowPitch * int(row), OptionWidth, OptionHeight));
        options_.push_back(option);
        tabChain.emplace_back(c.tabOrder, option);

        auto* text = new OptionText(
            QString::fromUtf8(c.text), [this, row] { select(row); }, frame);
        text->setObjectName(QString::fromLatin1(design_.labelName) + suffix);
        text->setProperty("index", index);
        text->setAlignment(Qt::AlignRight | Qt::AlignTop);
        // A text wider than its box grows to the right, away from its button.
        const QRect box =
            pxRect(design_.labelLeft, LabelTop + RowPitch * int(row), c.labelWidth, LabelHeight);
        text->ensurePolished();
        const QSize need = text->sizeHint();
        QRect room(box.topLeft(), box.size().expandedTo(need));
        // A long text, right-aligned as it is, would start over the circle: it starts clear.
        const int clear = option->geometry().right() + 1 + px(45);
        if (const int textLeft = room.right() + 1 - need.width(); textLeft < clear)
            room.translate(clear - textLeft, 0);
        text->setGeometry(room);
    }

    const auto button = [&](const ButtonDesign& d) {
        auto* b = new QPushButton(QString::fromLatin1(d.caption), this);
        b->setObjectName(QString::fromLatin1(d.name));
        b->setGeometry(pxRect(d.twips.x(), d.twips.y(), d.twips.width(), d.twips.height()));
        b->setAutoDefault(false);
        tabChain.emplace_back(d.tabOrder, b);
        return b;
    };
    QPushButton* ok = button(design_.ok);
    cancel_ = button(design_.cancel);
    QPushButton* applyButton = button(design_.apply);
    connect(ok, &QPushButton::clicked, this, [this] {
        apply();
        close();
    });
    connect(cancel_, &QPushButton::clicked, this, &QWidget::close);
    connect(applyButton, &QPushButton::clicked, this, [this] {
        cancel_->setText(QStringLiteral("Close"));
        apply();
    });

    for (const NoteDesign& n : design_.notes) {
        auto* note = new PanelLabel(QString::fromUtf8(n.text), n.twips, Qt::AlignLeft, false, this);
        note->setObjectName(QString::fromLatin1(n.name));
        note->setWordWrap(true);
    }

    std::stable_sort(tabChain.begin(), tabChain.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabChain.size(); ++i)
        QWidget::setTabOrder(tabChain[i - 1].second, tabChain[i].second);
    firstInTabOrder_ = tabChain.front().second;

    setFixedSize(
        makeRoom(*this, pxSize(design_.clientTwips.width(), design_.clientTwips.height())));
}

void ChoiceDialog::open() {
    if (!isVisible())
        load();
    bringUp(*this);
}

void ChoiceDialog::load() {
    cancel_->setText(QStringLiteral("Cancel"));
    // Stacking follows the main window's setting; the dialog is hidden here, so changing the
    // flags costs nothing.
    setWindowFlag(Qt::WindowStaysOnTopHint,
                  panel_.state().settings.AlwaysOnTop == QLatin1String("Yes"));
    move(
        pxPoint(anchor_.left() + design_.offsetTwips.x(), anchor_.top() + design_.offsetTwips.y()));

    // A value outside the table (a hand-edited file) leaves every option clear.
    clearOptions();
    const int current = panel_.state().settings.*design_.current;
    const auto match =
        std::find_if(design_.choices.begin(), design_.choices.end(),
                     [current](const ChoiceDesign& c) { return c.value == current; });
    if (match != design_.choices.end())
        select(std::size_t(match - design_.choices.begin()));
    firstInTabOrder_->setFocus();
}

void ChoiceDialog::select(std::size_t row) {
    options_[row]->setChecked(true);
}

void ChoiceDialog::clearOptions() {
    // Exclusive option buttons refuse to be cleared one by one.
    for (QRadioButton* o : options_) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }
}

std::optional<int> ChoiceDialog::chosenValue() const {
    for (std::size_t row = 0; row < options_.size(); ++row) {
        if (options_[row]->isChecked())
            return design_.choices[row].value;
    }
    return std::nullopt;
}

void ChoiceDialog::apply() {
    (panel_.*design_.applyChoice)(chosenValue());
}

} // namespace tarn::ui
