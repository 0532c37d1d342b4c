#pragma once

#include <QList>
#include <QString>
#include <memory>

// An accessibility element handle. Handles are reference counted and compared by identity; a null
// handle stands for "no element".
class AXElementHandle {
public:
    virtual ~AXElementHandle() = default;
};
using AXElement = std::shared_ptr<AXElementHandle>;

// The platform's accessibility error codes (0 is success).
enum class AXError : int {
    Success = 0,
    Failure = -25200,
    IllegalArgument = -25201,
    InvalidUIElement = -25202,
    CannotComplete = -25204,
    AttributeUnsupported = -25205,
    ActionUnsupported = -25206,
    APIDisabled = -25211,
    NoValue = -25212,
};

// The value of one attribute: a string, one element, a list of elements, something else, or nothing.
struct AXValue {
    enum class Kind { None, String, Element, ElementList, Other };
    Kind kind = Kind::None;
    QString string;
    AXElement element;
    QList<AXElement> elements;

    static AXValue ofString(const QString& s) { return {Kind::String, s, {}, {}}; }
    static AXValue ofElement(const AXElement& e) { return {Kind::Element, {}, e, {}}; }
    static AXValue ofElements(const QList<AXElement>& list) { return {Kind::ElementList, {}, {}, list}; }
    static AXValue other() { return {Kind::Other, {}, {}, {}}; }
};

struct AXResult {
    AXError error = AXError::NoValue;
    AXValue value;

    bool ok() const { return error == AXError::Success && value.kind != AXValue::Kind::None; }
};

// The accessibility interface of the session. Every read is synchronous. Implementations must be
// safe to call from a worker thread (the diagnostic dump reads the tree off the main thread);
// trust checks and actions are main-thread calls.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // AXIsProcessTrusted: whether this process may read and press other applications' elements.
    virtual bool isProcessTrusted() const = 0;
    // AXIsProcessTrustedWithOptions: the same, and with `prompt` asks the system to show its prompt.
    virtual bool isProcessTrustedWithOptions(bool prompt) = 0;

    // The application element of a process; never null, but reads fail for an unknown process.
    virtual AXElement createApplication(qint32 processIdentifier) const = 0;
    virtual AXResult copyAttributeValue(const AXElement& element, const QString& attribute) const = 0;
    virtual AXError performAction(const AXElement& element, const QString& action) = 0;
};
