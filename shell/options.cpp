#include "shell/options.h"

#include <X11/StringDefs.h>

#include <cctype>
#include <cstring>

#include "shell/settings.h"

XrmOptionDescRec settingsOptions[] = {
    {const_cast<char *>("-vornaddress"), const_cast<char *>("*vornAddress"),
     XrmoptionSepArg, nullptr},
    {const_cast<char *>("-clientaddress"), const_cast<char *>("*clientAddress"),
     XrmoptionSepArg, nullptr},
    {const_cast<char *>("-connectionType"),
     const_cast<char *>("*connectionType"), XrmoptionSepArg, nullptr},
    {const_cast<char *>("-session"), const_cast<char *>(".session"),
     XrmoptionNoArg, const_cast<char *>("on")},
    {const_cast<char *>("-station"), const_cast<char *>(".station"),
     XrmoptionNoArg, const_cast<char *>("on")},
    {const_cast<char *>("-scale"), const_cast<char *>(".scale"),
     XrmoptionSepArg, nullptr},
    {const_cast<char *>("-contrast"), const_cast<char *>(".contrast"),
     XrmoptionNoArg, const_cast<char *>("on")},
};
const Cardinal settingsOptionCount = XtNumber(settingsOptions);

namespace {

constexpr char kArray8Type[] = "ARRAY8";
// An ARRAY8 counts its bytes in a CARD16.
constexpr std::size_t kMaxArray8Length = 65535;
// What the converter yields and the settings hold: a pointer to the record.
using Array8Pointer = ARRAY8 *;

#define offset(field) XtOffsetOf(LaunchSettings, field)
XtResource resources[] = {
    {const_cast<char *>("vornAddress"), const_cast<char *>("VornAddress"),
     const_cast<char *>(kArray8Type), sizeof(Array8Pointer),
     offset(vornAddress), const_cast<char *>(XtRString), nullptr},
    {const_cast<char *>("clientAddress"), const_cast<char *>("ClientAddress"),
     const_cast<char *>(kArray8Type), sizeof(Array8Pointer),
     offset(clientAddress), const_cast<char *>(XtRString), nullptr},
    {const_cast<char *>("connectionType"), const_cast<char *>("ConnectionType"),
     const_cast<char *>(XtRInt), sizeof(int), offset(connectionType),
     const_cast<char *>(XtRImmediate), nullptr},
};
#undef offset

// Hexadecimal as a person or a display manager writes it: an even number
// of digits, in either case.
bool IsHexText(const char *text, std::size_t length) {
    if (length % 2 != 0)
        return false;
    for (std::size_t i = 0; i < length; i++)
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

} // namespace

void StringToArray8(XrmValue * /*args*/, Cardinal * /*argCount*/,
                    XrmValue *source, XrmValue *destination) noexcept {
    // The toolkit copies the pointer out of this variable before it runs
    // the next conversion.
    static ARRAY8 *result;

    result = reinterpret_cast<ARRAY8 *>(XtMalloc(sizeof(ARRAY8)));
    result->length = 0;
    result->data = nullptr;
    // The size counts the terminating zero byte, so 2n digits give n bytes.
    std::size_t n = source->size / 2;
    if (n > kMaxArray8Length || !AllocArray8(result, static_cast<int>(n))) {
        XtStringConversionWarning(source->addr, kArray8Type);
    } else {
        // Text that is no valid hexadecimal is still decoded, so that a
        // display manager's value is echoed back as it was given.
        if (!IsHexText(source->addr, strnlen(source->addr, source->size)))
            XtStringConversionWarning(source->addr, kArray8Type);
        HexToBytes(source->addr, result->data, static_cast<int>(source->size));
    }
    destination->size = sizeof(Array8Pointer);
    destination->addr = reinterpret_cast<XPointer>(&result);
}

XtResource FileResource(const char *name, const char *className,
                        const char *type, Cardinal size, Cardinal offset) {
    return {const_cast<char *>(name),
            const_cast<char *>(className),
            const_cast<char *>(type),
            size,
            offset,
            const_cast<char *>(XtRImmediate),
            nullptr};
}

void LoadSettings(Widget topLevel) {
    XtGetApplicationResources(topLevel, &settings, resources,
                              XtNumber(resources), nullptr, 0);
}
