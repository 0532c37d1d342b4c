// The built-in Alt sequences: the keys typed after Option, the name counted in the usage
// statistics, and the action that carries out the command in Excel.

#include <QPointer>

#include "engine/ShortcutEngine.h"

using namespace Qt::StringLiterals;

namespace {

// Key codes of the US key caps the sequences use.
enum Key : qint64 {
    A = 0,
    S = 1,
    D = 2,
    F = 3,
    H = 4,
    G = 5,
    C = 8,
    V = 9,
    B = 11,
    Q = 12,
    W = 13,
    E = 14,
    R = 15,
    T = 17,
    O = 31,
    U = 32,
    I = 34,
    P = 35,
    L = 37,
    J = 38,
    N = 45,
    M = 46,
};

constexpr quint16 kEqualKey = 24;
constexpr quint16 kMinusKey = 27;
constexpr quint16 kF7 = 98;
constexpr quint16 kF9 = 101;

}  // namespace

QString ShortcutEngine::keyCodeText(qint64 code) {
    // Formatting a number goes through the locale machinery; the tap needs these texts on every key.
    static const QList<QString> table = [] {
        QList<QString> texts;
        for (int i = 0; i < 128; ++i) {
            texts.append(QString::number(i));
        }
        return texts;
    }();
    return code >= 0 && code < table.size() ? table[code] : QString::number(code);
}

QString ShortcutEngine::sequenceKey(const QList<qint64>& keys) {
    QString key;
    key.reserve(keys.size() * 4);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i > 0) {
            key += u',';
        }
        key += keyCodeText(keys[i]);
    }
    return key;
}

quint64 ShortcutEngine::packAppend(quint64 packed, qint64 code) {
    // Each code is stored plus one, so that no packed sequence is 0 (empty) or all ones.
    if (packed == kUnpackable || code < 0 || code > 0xFFFD || (packed >> 48) != 0) {
        return kUnpackable;
    }
    return (packed << 16) | static_cast<quint64>(code + 1);
}

void ShortcutEngine::add(const QList<qint64>& keys, const QString& name, Action action) {
    if (keys.isEmpty()) {
        return;
    }
    const QString key = sequenceKey(keys);
    m_sequences.insert(key, action);
    if (!name.isEmpty()) {
        m_sequenceNames.insert(key, name);
    }
    quint64 packed = 0;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i > 0) {
            m_prefixSet.insert(sequenceKey(keys.first(i)));
            m_packedPrefixes.insert(packed);
        }
        packed = packAppend(packed, keys[i]);
    }
    m_packedSequences.insert(packed, PackedEntry{key, m_sequenceNames.value(key), std::move(action)});
}

void ShortcutEngine::buildSequenceTable() {
    // Every action holds the engine weakly, fallbacks included, so that a chain ends quietly once the
    // engine is gone.
    const QPointer<ShortcutEngine> weak(this);
    const auto paste = [weak](qint64 optionKey) -> Action {
        return [weak, optionKey] {
            if (weak) {
                weak->pasteSpecialDialog(optionKey);
            }
        };
    };
    const auto key = [weak](quint16 code, quint64 flags) -> Action {
        return [weak, code, flags] {
            if (weak) {
                weak->injectKey(code, flags);
            }
        };
    };
    const auto logOnly = [weak](const QString& text) -> Action {
        return [weak, text] {
            if (weak) {
                weak->logOnly(text);
            }
        };
    };
    const auto menu = [weak](const QStringList& path, Action fallback = {}) -> Action {
        return [weak, path, fallback] {
            if (weak) {
                weak->axMenu(path, fallback);
            }
        };
    };
    const auto ribbon = [weak](const QString& title, Action fallback) -> Action {
        return [weak, title, fallback] {
            if (weak) {
                weak->axRibbonButton(title, fallback);
            }
        };
    };
    const auto ribbonMenu = [weak](const QString& title, const QStringList& items, Action fallback) -> Action {
        return [weak, title, items, fallback] {
            if (weak) {
                weak->axRibbonMenuButton(title, items, fallback);
            }
        };
    };
    const auto borders = [weak](const QStringList& presets) -> Action {
        return [weak, presets] {
            if (weak) {
                weak->applyFormatCellsBorder(presets);
            }
        };
    };
    constexpr quint64 shift = EventFlags::Shift;
    constexpr quint64 control = EventFlags::Control;
    constexpr quint64 command = EventFlags::Command;

    add({E, S, V}, u"Paste Values"_s, paste(V));
    add({E, S, T}, u"Paste Formats"_s, paste(T));
    add({E, S, F}, u"Paste Formulas"_s, paste(F));
    add({E, S, W}, u"Paste Column Widths"_s, paste(W));
    add({E, S, E}, u"Paste Transpose"_s, paste(E));
    add({E, S, N}, u"Paste Validation"_s, paste(N));
    add({E, S, C}, u"Paste Comments"_s, paste(C));
    add({E, S, A}, u"Paste All"_s, paste(A));
    add({E, S, U}, u"Paste Except Borders"_s, paste(U));

    add({H, O, I}, u"AutoFit Column"_s, menu({u"Format"_s, u"Column"_s, u"Auto-fit Selection"_s}));
    add({H, O, A}, u"AutoFit Row"_s, menu({u"Format"_s, u"Row"_s, u"Auto-fit"_s}));
    add({H, O, W}, u"Column Width"_s, menu({u"Format"_s, u"Column"_s, u"Width..."_s}));
    add({H, O, H}, u"Row Height"_s, menu({u"Format"_s, u"Row"_s, u"Height..."_s}));

    add({H, B, A}, u"All Borders"_s, borders({u"Outline"_s, u"Inside"_s}));
    add({H, B, N}, u"No Borders"_s, borders({u"None"_s}));
    add({H, B, O}, u"Outline Border"_s, borders({u"Outline"_s}));
    add({H, B, B}, QString(), logOnly(u"Bottom Border"_s));
    add({H, H}, QString(), logOnly(u"Fill Color"_s));
    add({H, F, C}, QString(), logOnly(u"Font Color"_s));

    add({H, A, C}, u"Center Align"_s, key(E, command));
    add({H, A, L}, u"Left Align"_s, key(L, command));
    add({H, A, R}, u"Right Align"_s, key(R, command));
    add({H, W}, QString(), logOnly(u"Wrap Text"_s));

    add({H, M, C}, u"Merge & Center"_s,
        ribbonMenu(u"Merge & Centre"_s, {u"Merge and Centre"_s, u"Merge and Center"_s},
                   menu({u"Format"_s, u"Merge Cells"_s, u"Merge and Center Cells"_s},
                        menu({u"Format"_s, u"Merge Cells"_s, u"Merge and Center"_s}))));
    add({H, I, R}, u"Insert Row"_s, menu({u"Insert"_s, u"Sheet Rows"_s}, key(kEqualKey, control | shift)));
    add({H, I, C}, u"Insert Column"_s, menu({u"Insert"_s, u"Columns"_s}, key(kEqualKey, control | shift)));
    add({H, D, R}, u"Delete Row"_s, key(kMinusKey, control));
    add({H, D, C}, u"Delete Column"_s, key(kMinusKey, control));
    add({H, O, C, A}, u"Unhide Column"_s, menu({u"Format"_s, u"Column"_s, u"Unhide"_s}));
    add({H, O, U, L}, u"Unhide Row"_s, menu({u"Format"_s, u"Row"_s, u"Unhide"_s}));

    add({A, T}, u"Toggle Filter"_s, menu({u"Data"_s, u"Auto-filter"_s}, key(F, command | shift)));
    add({A, S, A}, u"Sort A→Z"_s,
        ribbon(u"Sort A to Z"_s, menu({u"Data"_s, u"Sort A to Z"_s}, menu({u"Data"_s, u"Sort Ascending"_s}))));
    add({A, S, D}, u"Sort Z→A"_s,
        ribbon(u"Sort Z to A"_s, menu({u"Data"_s, u"Sort Descending"_s}, menu({u"Data"_s, u"Sort Z to A"_s}))));
    add({A, M}, u"Remove Duplicates"_s, menu({u"Data"_s, u"Remove Duplicates..."_s}));
    add({A, C}, u"Clear Filter"_s,
        ribbon(u"Clear"_s, menu({u"Data"_s, u"Clear Filters"_s}, menu({u"Data"_s, u"Remove Filter"_s}))));

    add({M, S}, QString(), logOnly(u"Name Manager"_s));
    add({M, M}, QString(), logOnly(u"Define Name"_s));
    add({M, D}, QString(), logOnly(u"Trace Dependents"_s));
    add({M, P}, QString(), logOnly(u"Trace Precedents"_s));
    add({M, A, A}, u"Calculate Workbook"_s, key(kF9, 0));
    add({M, A, C}, u"Calculate Sheet"_s, key(kF9, shift));

    add({A, V, V}, u"Data Validation"_s,
        menu({u"Data"_s, u"Validation..."_s}, menu({u"Data"_s, u"Data Validation..."_s})));
    add({A, E}, u"Text to Columns"_s, menu({u"Data"_s, u"Text to Columns..."_s}));
    add({A, Q}, QString(), logOnly(u"Query Refresh"_s));
    add({A, R, A}, u"Refresh All"_s, menu({u"Data"_s, u"Refresh"_s}));
    add({J, T, R}, QString(), logOnly(u"Refresh Pivot"_s));
    add({J, T, O}, QString(), logOnly(u"Pivot Options"_s));

    add({R, S}, u"Spell Check"_s, key(kF7, 0));
    add({R, P}, u"Protect Sheet"_s, menu({u"Tools"_s, u"Protection"_s, u"Protect Sheet..."_s}));
    add({R, U}, u"Unprotect Sheet"_s, menu({u"Tools"_s, u"Protection"_s, u"Unprotect Sheet..."_s}));
    add({W, F, F}, u"Freeze Panes"_s,
        menu({u"View"_s, u"Freeze Panes"_s, u"Freeze Panes"_s},
             menu({u"View"_s, u"Freeze Panes"_s, u"Unfreeze Panes"_s})));
    add({W, V, G}, u"Gridlines"_s, ribbon(u"Gridlines"_s, menu({u"View"_s, u"Gridlines"_s})));
    add({W, S}, u"Split View"_s, menu({u"View"_s, u"Split"_s}));
    add({W, A}, QString(), menu({u"Window"_s, u"Arrange..."_s}));
}
