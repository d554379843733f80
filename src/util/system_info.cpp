#include "util/system_info.h"

#include "platform/computer_info.h"
#include "platform/keyboard_layout.h"

namespace movan {

void SwitchKeyboardLayout(const QString &code)
{
    if (code == u"E" || code == u"e")
        KeyboardLayout::activate("us");
    else if (code == u"F" || code == u"f")
        KeyboardLayout::activate("ir");
}

QString GetComputerNameText()
{
    return ComputerInfo::hostName();
}

} // namespace movan
