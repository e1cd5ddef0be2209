#include "OmbrixUI/HotKeyFormatter.h"

#include <QKeyEvent>

#include "OmbrixServices/Services/CarbonKeyTable.h"
#include "OmbrixServices/Services/HotKeyService.h"

namespace {

// The legends of the key positions on a US keyboard, whatever layout is active, so a stored
// combination reads the same after the user switches layouts. Codes outside the table, Escape
// among them, are shown by their number.
QString keyName(std::uint32_t keyCode) {
    struct Name {
        std::uint32_t code;
        const char* text;
    };
    static constexpr Name names[] = {
        {0, "A"},     {1, "S"},     {2, "D"},   {3, "F"},       {4, "H"},    {5, "G"},    {6, "Z"},
        {7, "X"},     {8, "C"},     {9, "V"},   {11, "B"},      {12, "Q"},   {13, "W"},   {14, "E"},
        {15, "R"},    {16, "Y"},    {17, "T"},  {31, "O"},      {32, "U"},   {34, "I"},   {35, "P"},
        {37, "L"},    {38, "J"},    {40, "K"},  {45, "N"},      {46, "M"},   {18, "1"},   {19, "2"},
        {20, "3"},    {21, "4"},    {22, "6"},  {23, "5"},      {25, "9"},   {26, "7"},   {28, "8"},
        {29, "0"},    {36, "⏎"},    {48, "⇥"},  {49, "Boşluk"}, {122, "F1"}, {120, "F2"}, {99, "F3"},
        {118, "F4"},  {96, "F5"},   {97, "F6"}, {98, "F7"},     {100, "F8"}, {101, "F9"}, {109, "F10"},
        {103, "F11"}, {111, "F12"},
    };
    for (const Name& name : names) {
        if (name.code == keyCode) return QString::fromUtf8(name.text);
    }
    return QStringLiteral("#%1").arg(keyCode);
}

}  // namespace

namespace HotKeyFormatter {

std::uint32_t carbonModifiers(Qt::KeyboardModifiers modifiers) {
    return CarbonKeyTable::carbonMask(modifiers);
}

std::optional<std::uint32_t> carbonKeyCode(const QKeyEvent& event) {
    // The desktop names the physical key, whatever Shift or the layout made it type.
    if (event.nativeScanCode() != 0) {
        if (const std::optional<std::uint32_t> code =
                HotKeyService::shared().keyCodeOfNativeKey(event.nativeScanCode()))
            return code;
    }
    // Qt reports Shift+Tab as a key of its own.
    const int key = event.key() == Qt::Key_Backtab ? Qt::Key_Tab : event.key();
    return CarbonKeyTable::carbonCode(static_cast<Qt::Key>(key));
}

QString describe(std::uint32_t keyCode, std::uint32_t modifiers) {
    return CarbonKeyTable::describe(modifiers, keyName(keyCode));
}

}  // namespace HotKeyFormatter
