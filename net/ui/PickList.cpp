// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/PickList.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velkard::net::ui {

PickListControls buildPickList(QDialog& dialog, const char* listName, int columns) {
    PickListControls c{};
    c.list = new QTreeWidget(&dialog);
    c.list->setObjectName(listName);
    c.list->setColumnCount(columns);
    c.list->setRootIsDecorated(false);
    c.list->setSelectionMode(QAbstractItemView::SingleSelection);
    c.list->setSelectionBehavior(QAbstractItemView::SelectRows);
    c.list->setUniformRowHeights(true);
    c.list->setColumnWidth(0, 220);
    c.status = new QLabel(&dialog);
    c.status->setObjectName("statusLabel");
    c.status->setWordWrap(true);
    c.refresh = new QPushButton(&dialog);
    c.refresh->setObjectName("refreshButton");
    c.take = new QPushButton(&dialog);
    c.take->setObjectName("takeButton");
    c.close = new QPushButton(&dialog);
    c.close->setObjectName("closeButton");
    for (QPushButton* b : {c.refresh, c.take, c.close})
        b->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(c.refresh);
    buttons->addStretch();
    buttons->addWidget(c.take);
    buttons->addWidget(c.close);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(c.list, 1);
    layout->addWidget(c.status);
    layout->addLayout(buttons);
    return c;
}

} // namespace velkard::net::ui
