// SPDX-License-Identifier: GPL-3.0-or-later
// The controls of a window that lists entries to take one of (the worklist's orders, the GDT
// requests): the list, a status line, Refresh, Take and Close, laid out on the dialog.
#pragma once

class QDialog;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace velkard::net::ui {

struct PickListControls {
    QTreeWidget* list;
    QLabel* status;
    QPushButton* refresh;
    QPushButton* take;
    QPushButton* close;
};

// Made on dialog: a single-selection list of `columns` columns named listName, the first 220 px
// wide; the buttons are no default buttons, so Enter in the list takes nothing by accident.
PickListControls buildPickList(QDialog& dialog, const char* listName, int columns);

} // namespace velkard::net::ui
