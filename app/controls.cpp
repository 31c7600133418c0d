#include "app/controls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

namespace app {

namespace {

QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string S(const QString& text) {
  return text.toUtf8().toStdString();
}

// File names on Linux may hold any bytes, which a shown text cannot always carry (invalid UTF-8
// shows as U+FFFD). Such a cell keeps its exact bytes beside the shown text.
constexpr int ListBytesRole = ListStateImageRole + 1;

void SetItemText(QTableWidgetItem* item, const std::string& text) {
  const QString shown = Q(text);
  item->setText(shown);
  if (S(shown) != text) {
    item->setData(ListBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  } else {
    item->setData(ListBytesRole, QVariant());
  }
}

std::string ItemText(const QTableWidgetItem* item) {
  const QVariant bytes = item->data(ListBytesRole);
  if (bytes.isValid()) {
    const QByteArray exact = bytes.toByteArray();
    // Only while the shown text is still the one those bytes were set with.
    if (Q(exact.toStdString()) == item->text()) return exact.toStdString();
  }
  return S(item->text());
}

bool InTable(const QTableWidget* list, int row, int column) {
  return list != nullptr && row >= 0 && row < list->rowCount() && column >= 0 &&
         column < list->columnCount();
}

}  // namespace

std::string EditText(const QLineEdit* edit) {
  return edit != nullptr ? S(edit->text()) : std::string();
}

void SetEditText(QLineEdit* edit, const std::string& text) {
  if (edit == nullptr) return;
  edit->setText(Q(text));
  edit->setCursorPosition(0);
}

int ComboSelectedIndex(const QComboBox* combo) {
  return combo != nullptr ? combo->currentIndex() : -1;
}

std::string ComboItemText(const QComboBox* combo, int index) {
  if (combo == nullptr || index < 0 || index >= combo->count()) return std::string();
  return S(combo->itemText(index));
}

int ListRowCount(const QTableWidget* list) {
  return list != nullptr ? list->rowCount() : 0;
}

int ListAppendRow(QTableWidget* list, const std::string& title) {
  if (list == nullptr) return -1;
  const int row = list->rowCount();
  list->insertRow(row);
  auto* item = new QTableWidgetItem;
  SetItemText(item, title);
  list->setItem(row, 0, item);
  return row;
}

void ListSetCellText(QTableWidget* list, int row, int column, const std::string& text) {
  if (!InTable(list, row, column)) return;
  QTableWidgetItem* item = list->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    list->setItem(row, column, item);
  }
  SetItemText(item, text);
}

std::string ListCellText(const QTableWidget* list, int row, int column) {
  if (!InTable(list, row, column)) return std::string();
  const QTableWidgetItem* item = list->item(row, column);
  return item != nullptr ? ItemText(item) : std::string();
}

void ListSetStateImage(QTableWidget* list, int row, int index) {
  if (!InTable(list, row, 0)) return;
  QTableWidgetItem* item = list->item(row, 0);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    list->setItem(row, 0, item);
  }
  item->setData(ListStateImageRole, index);
}

int ListStateImage(const QTableWidget* list, int row) {
  if (!InTable(list, row, 0)) return -1;
  const QTableWidgetItem* item = list->item(row, 0);
  if (item == nullptr) return -1;
  const QVariant data = item->data(ListStateImageRole);
  return data.isValid() ? data.toInt() : -1;
}

}  // namespace app
