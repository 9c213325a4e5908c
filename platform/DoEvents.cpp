#include "platform/Platform.h"

#include <QCoreApplication>

namespace kelvo {

void DoEvents()
{
    QCoreApplication::processEvents();
}

} // namespace kelvo
