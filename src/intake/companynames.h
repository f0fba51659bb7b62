#pragma once

#include <QString>
#include <QStringView>

namespace zjx {

// The catalogue company a list or an order file means by a name as people write it: the exact
// display name, the name without its trade word ("中通" for 中通快递, "顺丰速运" for 顺丰快递, the
// parcel service before the freight service of the same brand), a service code, or one of the
// couriers' own short codes (ZTO, YTO, STO ...). -1 when it names none.
int companyNamedIn(QStringView text);

} // namespace zjx
