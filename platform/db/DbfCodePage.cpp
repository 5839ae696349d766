#include "platform/db/DbfCodePage.h"

namespace db {

int CodePageOfDriver(unsigned char driver) {
    switch (driver) {
    case 0x4D:
    case 0x7A:
        return 936;
    case 0x4E:
    case 0x79:
        return 949;
    case 0x4F:
    case 0x78:
        return 950;
    case 0x7B:
    case 0x13:
        return 932;
    case 0x01:
        return 437;
    case 0x02:
        return 850;
    case 0x03:
    case 0x57:
    case 0x58:
    case 0x59:
        return 1252;
    case 0x26:
    case 0x65:
        return 866;
    case 0x66:
        return 865;
    case 0xC9:
        return 1251;
    case 0x64:
        return 852;
    case 0xC8:
        return 1250;
    case 0xCA:
        return 1254;
    case 0xCB:
        return 1253;
    case 0x7D:
        return 1255;
    case 0x7E:
        return 1256;
    case 0x7C:
        return 874;
    default:
        return 0;
    }
}

} // namespace db
