#include "files/app_names.h"

#include <QCoreApplication>
#include <QString>

namespace zef {

void UseApplicationNames() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
}

} // namespace zef
