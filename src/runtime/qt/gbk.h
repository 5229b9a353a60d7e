// The one crossing between the tool's GBK byte texts and Qt's UTF-16 strings.
//
// Conversion goes through GB18030, whose one- and two-byte forms are GBK's: every GBK text maps
// as GBK would, and any character a user types (also one outside GBK) survives the round trip.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace pelorin::qt {

QString from_gbk(std::string_view text);
std::string to_gbk(const QString& text);

}  // namespace pelorin::qt
