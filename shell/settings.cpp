#include "shell/settings.h"

#include <X11/StringDefs.h>

LaunchSettings settings;

static constexpr char kArray8Type[] = "ARRAY8";
// What the converter yields and the settings hold: a pointer to the record.
using Array8Pointer = ARRAY8 *;

XrmOptionDescRec settingsOptions[] = {
    {const_cast<char *>("-vornaddress"), const_cast<char *>("*vornAddress"),
     XrmoptionSepArg, nullptr},
    {const_cast<char *>("-clientaddress"), const_cast<char *>("*clientAddress"),
     XrmoptionSepArg, nullptr},
    {const_cast<char *>("-connectionType"),
     const_cast<char *>("*connectionType"), XrmoptionSepArg, nullptr},
};
const Cardinal settingsOptionCount = XtNumber(settingsOptions);

#define offset(field) XtOffsetOf(LaunchSettings, field)
static XtResource resources[] = {
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

int HexToBytes(const char *text, CARD8 *out, int length) {
    int error = length % 2;
    for (; length >= 2; length -= 2, text += 2, out++) {
        int value[2];
        for (int i = 0; i < 2; i++) {
            int c = static_cast<unsigned char>(text[i]);
            bool digit = c >= '0' && c <= '9';
            if (!digit && !(c >= 'a' && c <= 'f'))
                error = 1;
            // Invalid characters are decoded with the letter formula all
            // the same; callers that care look at the error flag.
            value[i] = digit ? c - '0' : c - 'a' + 10;
        }
        *out = static_cast<CARD8>((16 * value[0] + value[1]) & 0xff);
    }
    return error;
}

void StringToArray8(XrmValue * /*args*/, Cardinal * /*argCount*/,
                    XrmValue *source, XrmValue *destination) {
    // The toolkit copies the pointer out of this variable before it runs
    // the next conversion.
    static ARRAY8 *result;

    result = reinterpret_cast<ARRAY8 *>(XtMalloc(sizeof(ARRAY8)));
    result->length = 0;
    result->data = nullptr;
    // The size counts the terminating zero byte, so 2n digits give n bytes.
    int n = static_cast<int>(source->size / 2);
    if (!AllocArray8(result, n))
        XtStringConversionWarning(source->addr, kArray8Type);
    else
        HexToBytes(source->addr, result->data, static_cast<int>(source->size));
    destination->size = sizeof(Array8Pointer);
    destination->addr = reinterpret_cast<XPointer>(&result);
}

void LoadSettings(Widget topLevel) {
    XtGetApplicationResources(topLevel, &settings, resources,
                              XtNumber(resources), nullptr, 0);
}
