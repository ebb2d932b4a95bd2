#include "app/StartRefusal.h"

namespace pelmora::app {

using namespace Qt::StringLiterals;

namespace {
// Room for two full-length paths and the explanation around them.
constexpr qsizetype kLongestText = 10000;
} // namespace

std::optional<QString> startRefusalText(const QStringList& arguments)
{
    if (arguments.size() != 3 || arguments.at(1) != u"--start-refused"_s)
        return std::nullopt;
    return arguments.at(2).left(kLongestText);
}

int showStartRefusal(platform::MessageBox& box, const QString& text)
{
    box.msgBox(text, platform::msgbox::kOkOnly | platform::msgbox::kCritical, u"ペルモラ"_s);
    return 1;
}

} // namespace pelmora::app
