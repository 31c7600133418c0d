#pragma once
// Reading and writing the controls as the handlers do: texts are UTF-8 byte strings.
#include <string>

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace app {

// Edit boxes. Replacing the text leaves the caret at position 0 with nothing selected.
std::string EditText(const QLineEdit* edit);
void SetEditText(QLineEdit* edit, const std::string& text);

// Combo boxes: the selected index (-1 when none); the text of the item at index ("" outside
// 0 .. count - 1).
int ComboSelectedIndex(const QComboBox* combo);
std::string ComboItemText(const QComboBox* combo, int index);

// The list view. A row's title is the text of column 0. Cells outside the table read "". A cell
// reads back the exact bytes it was given, even those that are not UTF-8 (file names may be).
// The state-image index is kept as item data of column 0 (ListStateImageRole); a row appended
// without one reads -1, as does a row outside the table.
constexpr int ListStateImageRole = 0x0100 + 1;  // Qt::UserRole + 1
int ListRowCount(const QTableWidget* list);
int ListAppendRow(QTableWidget* list, const std::string& title);  // returns the new row's index
void ListSetCellText(QTableWidget* list, int row, int column, const std::string& text);
std::string ListCellText(const QTableWidget* list, int row, int column);
void ListSetStateImage(QTableWidget* list, int row, int index);
int ListStateImage(const QTableWidget* list, int row);

}  // namespace app
