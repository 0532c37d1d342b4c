#include "platform/sim/SimAccessibility.h"

#include "platform/sim/SimAXElement.h"
#include "platform/sim/SimSession.h"

namespace {

// Stands for the element of a process that does not exist (or no longer does).
class DeadAXElement final : public AXElementHandle {};

}  // namespace

SimAccessibility::SimAccessibility(SimSession& session) : m_session(session) {}

bool SimAccessibility::isProcessTrusted() const {
    return m_session.accessibilityTrusted();
}

bool SimAccessibility::isProcessTrustedWithOptions(bool prompt) {
    // Every request for the prompt counts, trusted or not, so tests see what the program asked for.
    if (prompt) {
        m_session.countAccessibilityPrompt();
    }
    return m_session.accessibilityTrusted();
}

AXElement SimAccessibility::createApplication(qint32 processIdentifier) const {
    if (const auto app = m_session.applicationWithPid(processIdentifier)) {
        return app->applicationElement();
    }
    return std::make_shared<DeadAXElement>();
}

AXResult SimAccessibility::copyAttributeValue(const AXElement& element, const QString& attribute) const {
    if (!m_session.accessibilityTrusted()) {
        return {AXError::APIDisabled, {}};
    }
    if (!element || attribute.isEmpty()) {
        return {AXError::IllegalArgument, {}};
    }
    const auto* sim = dynamic_cast<const SimAXElement*>(element.get());
    if (!sim) {
        return {AXError::InvalidUIElement, {}};
    }
    return sim->read(attribute);
}

AXError SimAccessibility::performAction(const AXElement& element, const QString& action) {
    if (!m_session.accessibilityTrusted()) {
        return AXError::APIDisabled;
    }
    if (!element || action.isEmpty()) {
        return AXError::IllegalArgument;
    }
    auto* sim = dynamic_cast<SimAXElement*>(element.get());
    if (!sim) {
        return AXError::InvalidUIElement;
    }
    if (action != QLatin1String("AXPress")) {
        return AXError::ActionUnsupported;
    }
    return sim->press();
}
