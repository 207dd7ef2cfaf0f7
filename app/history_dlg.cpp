#include "app/history_dlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/dialog_builder.h"
#include "form/window_layout.h"

namespace quill {

CHistoryDlg::CHistoryDlg(const HistoryTable& table, QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(FromUtf8(kHistoryCaption));
    // The about box's font, so the columns' dialog units mean what they mean there.
    const DialogTemplate& about = AboutDialogTemplate();
    setFont(DialogFont(about.fontFace, about.pointSize));
    const DialogBaseUnits units = BaseUnitsFor(font());

    tableWidget =
        new QTableWidget(static_cast<int>(table.rows.size()), static_cast<int>(kHistoryColumnCount), this);
    tableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableWidget->setSelectionMode(QAbstractItemView::SingleSelection);
    tableWidget->verticalHeader()->hide();
    tableWidget->horizontalHeader()->setStretchLastSection(true);
    QStringList titles;
    int width = 0;
    for (std::size_t column = 0; column < kHistoryColumnCount; ++column) {
        titles << FromUtf8(kHistoryColumns[column].title);
        const int pixels = MapDialogRect({0, 0, kHistoryColumns[column].width, 0}, units).width();
        tableWidget->setColumnWidth(static_cast<int>(column), pixels);
        width += pixels;
    }
    tableWidget->setHorizontalHeaderLabels(titles);
    for (std::size_t row = 0; row < table.rows.size(); ++row) {
        for (std::size_t column = 0; column < kHistoryColumnCount; ++column) {
            auto* cell = new QTableWidgetItem(FromUtf8(table.rows[row][column]));
            cell->setToolTip(cell->text());  // a cut cell is read whole here
            tableWidget->setItem(static_cast<int>(row), static_cast<int>(column), cell);
        }
    }

    note = new QLabel(FromUtf8(table.note), this);
    note->setVisible(!table.note.empty());
    auto* close = new QPushButton(FromUtf8(kHistoryCloseText), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(note);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tableWidget, 1);
    layout->addLayout(bottom);
    const int frame = 2 * tableWidget->frameWidth() + 2 * layout->contentsMargins().left();
    resize(width + frame + 2, MapDialogRect({0, 0, 0, 200}, units).height());
}

CHistoryDlg::~CHistoryDlg() = default;

}  // namespace quill
