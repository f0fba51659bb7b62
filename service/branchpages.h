#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace zjx::service {

struct Branch {
    QString name;
    QString person;
    QString fullName;
    QString telephone;
    QString deliveryArea;
    QString nonDeliveryArea;
};

const QList<Branch>& sampleBranches();

// The UTF-8 branch query page for a name (compared after trimming spaces). An unknown name gives
// a page in the same look that says so and carries no value cells.
QByteArray branchPage(const QString& name);

} // namespace zjx::service
