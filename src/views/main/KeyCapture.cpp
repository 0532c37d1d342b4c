#include "views/main/KeyCapture.h"

#include <QHash>
#include <QPointer>
#include <algorithm>

namespace {

// Shift, Control, Option and Command; caps lock, fn and device bits are not recorded.
constexpr quint64 recordedModifiers = 0x1E0000;

const QHash<quint16, QString>& fixedTokens() {
    static const QHash<quint16, QString> tokens = {
        {36, QStringLiteral("↩")},     {48, QStringLiteral("⇥")},     {49, QStringLiteral("Space")},
        {51, QStringLiteral("⌫")},     {53, QStringLiteral("⎋")},     {98, QStringLiteral("F7")},
        {101, QStringLiteral("F9")},   {116, QStringLiteral("PgUp")}, {120, QStringLiteral("F2")},
        {121, QStringLiteral("PgDn")},
    };
    return tokens;
}

// Keys that type no text report a character of the Mac's private-use function-key range
// (U+F700 to U+F7FF); no font draws those, so they are recorded by name.
QString functionKeyName(char16_t c) {
    if (c >= 0xF704 && c <= 0xF726) {
        return QStringLiteral("F%1").arg(c - 0xF704 + 1);
    }
    switch (c) {
        case 0xF700:
            return QStringLiteral("↑");
        case 0xF701:
            return QStringLiteral("↓");
        case 0xF702:
            return QStringLiteral("←");
        case 0xF703:
            return QStringLiteral("→");
        case 0xF727:
            return QStringLiteral("Ins");
        case 0xF728:
            return QStringLiteral("⌦");
        case 0xF729:
            return QStringLiteral("Home");
        case 0xF72B:
            return QStringLiteral("End");
        case 0xF72C:
            return QStringLiteral("PgUp");
        case 0xF72D:
            return QStringLiteral("PgDn");
        case 0xF72E:
            return QStringLiteral("PrtSc");
        case 0xF72F:
            return QStringLiteral("ScrLk");
        case 0xF730:
            return QStringLiteral("Pause");
        case 0xF731:
            return QStringLiteral("SysRq");
        case 0xF735:
            return QStringLiteral("Menu");
        case 0xF739:
            return QStringLiteral("⌧");
        case 0xF746:
            return QStringLiteral("Help");
        default:
            return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    }
}

bool isFunctionKeyCharacter(QChar c) {
    return c.unicode() >= 0xF700 && c.unicode() <= 0xF7FF;
}

// Names for the function-key characters; every other character unchanged.
QString readable(const QString& characters) {
    if (std::none_of(characters.begin(), characters.end(), isFunctionKeyCharacter)) {
        return characters;
    }
    QString out;
    for (QChar c : characters) {
        out += isFunctionKeyCharacter(c) ? functionKeyName(c.unicode()) : QString(c);
    }
    return out;
}

// The platform's whitespace set: space separators and tab, not line breaks.
bool isBlank(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isBlank(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

}  // namespace

KeyCapture::KeyCapture(KeyMonitor& monitor, QObject* parent) : QObject(parent), m_keyMonitor(monitor) {}

KeyCapture::~KeyCapture() {
    stop();
}

void KeyCapture::start() {
    m_prevFlags = 0;
    const quint64 mask = eventMaskBit(EventType::KeyDown) | eventMaskBit(EventType::FlagsChanged);
    QPointer<KeyCapture> weakSelf(this);
    m_monitor = m_keyMonitor.addLocalMonitor(mask, [weakSelf](const LocalKeyEvent& event) {
        if (weakSelf) {
            weakSelf->handle(event);
        }
        return &event;
    });
}

void KeyCapture::stop() {
    if (m_monitor) {
        m_keyMonitor.removeMonitor(m_monitor);
        m_monitor.reset();
    }
}

void KeyCapture::reset() {
    m_keys.clear();
    emit keysChanged();
}

void KeyCapture::append(const QString& token) {
    m_keys.append(token);
    emit keysChanged();
}

void KeyCapture::handle(const LocalKeyEvent& event) {
    if (event.type == EventType::FlagsChanged) {
        const quint64 held = event.modifierFlags & recordedModifiers;
        const quint64 pressed = held & ~m_prevFlags;
        static const std::pair<quint64, const char*> order[] = {{EventFlags::Option, "⌥"},
                                                                {EventFlags::Control, "⌃"},
                                                                {EventFlags::Command, "⌘"},
                                                                {EventFlags::Shift, "⇧"}};
        for (const auto& [flag, token] : order) {
            if ((pressed & flag) != 0) {
                append(QString::fromUtf8(token));
            }
        }
        m_prevFlags = held;
        return;
    }
    if (event.type == EventType::KeyDown) {
        const auto& tokens = fixedTokens();
        if (auto it = tokens.constFind(event.keyCode); it != tokens.constEnd()) {
            append(it.value());
            return;
        }
        if (!event.charactersIgnoringModifiers) {
            return;
        }
        const QString token = readable(trimBlanks(event.charactersIgnoringModifiers->toUpper()));
        if (!token.isEmpty()) {
            append(token);
        }
    }
}
