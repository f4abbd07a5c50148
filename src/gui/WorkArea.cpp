#include "WorkArea.h"

#include "ChangesView.h"
#include "HitLinesView.h"
#include "ResultsPane.h"

#include "app/Form1.h"

#include <QHBoxLayout>
#include <QScreen>
#include <QStackedWidget>

namespace trawlex {

WorkArea::WorkArea(QWidget& inputs, Form1& record, Ui& desktop, QWidget* parent)
    : QSplitter(Qt::Vertical, parent) {
    setObjectName(QStringLiteral("Arbeitsbereich"));
    auto* top = new QWidget(this);
    top->setObjectName(QStringLiteral("Eingabezeile"));
    hitLines_ = new HitLinesView(top);
    results_ = new ResultsPane(record, desktop, *hitLines_, this);
    // A preview's changes take the place of the hit lines while its rows are shown.
    auto* beside = new QStackedWidget(top);
    beside->addWidget(hitLines_);
    beside->addWidget(&results_->Changes());
    connect(results_, &ResultsPane::reviewShown, beside, [beside, this](bool review) {
        beside->setCurrentWidget(review ? static_cast<QWidget*>(&results_->Changes()) : hitLines_);
    });
    // Beside the inputs it takes what is left; its own wish (the changes' buttons in a row) must
    // never push it over the inputs in a narrow window.
    beside->setMinimumWidth(160);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(0, 0, 8, 0);
    row->setSpacing(4);
    row->addWidget(&inputs, 0, Qt::AlignLeft | Qt::AlignTop);
    row->addWidget(beside, 1);
    // The hit lines keep a readable width beside the inputs.
    top->setMinimumSize(inputs.width() + 160, inputs.height());

    addWidget(top);
    addWidget(results_);
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    setChildrenCollapsible(false);
    // A handle the person can see and take, in a light palette as in a dark one.
    setHandleWidth(7);
    setStyleSheet(
        QStringLiteral("QSplitter#Arbeitsbereich::handle { background: palette(mid); "
                       "margin: 2px 8px; border-radius: 1px; }"));
    connect(this, &QSplitter::splitterMoved, this, [this] { sizesChosen_ = true; });
}

void WorkArea::SizeWindow(QWidget& window) const {
    const QSize top = widget(0)->minimumSize();
    window.setMinimumSize(top.width(), top.height() + 160);
    QSize size(1000, 760);
    if (const QScreen* screen = window.screen()) {
        const QSize available = screen->availableSize();
        size = QSize(available.width() * 9 / 10, available.height() * 9 / 10)
                   .boundedTo(QSize(1600, 1100));
    }
    window.resize(size.expandedTo(window.minimumSize()));
}

void WorkArea::ShowSizesOf(const Form1& form) {
    results_->SetColumnWidths(form.ColumnWidths);
    if (form.SplitterSizes.size() == count()) {
        setSizes(form.SplitterSizes);
        sizesChosen_ = true;
    }
}

void WorkArea::KeepSizesIn(Form1& form) const {
    form.ColumnWidths = results_->ColumnWidths();
    // Sizes the person never chose follow the window's size, also after a restart.
    form.SplitterSizes = sizesChosen_ ? sizes() : QList<int>();
}

}  // namespace trawlex
