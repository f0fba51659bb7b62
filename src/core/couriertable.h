#pragma once

#include <QString>
#include <QStringView>

#include <span>

namespace zjx {

// A courier company as the program and the service know it.
struct CourierRow {
    const char* name;      // as the company selectors show it (UTF-8)
    const char* code;      // the program's service code
    const char* kuaidi100; // kuaidi100's "com"; empty: kuaidi100 has no counterpart
    int track17;           // 17TRACK's numeric carrier; -1 lets 17TRACK detect the carrier itself
    const char* kdniao;    // kdniao's "ShipperCode"; empty: kdniao has no counterpart
};

// Every company, in the order of the company selectors: a row's position is the company's index.
std::span<const CourierRow> courierRows();
// The rows in the order of their codes (position 0..size-1).
const CourierRow& courierRowByCodeOrder(int position);
// The row or index of a service code (exact, case-sensitive); nullptr or -1 for an unknown code.
const CourierRow* findCourierRow(QStringView code);
int courierIndexOfCode(QStringView code);

} // namespace zjx
