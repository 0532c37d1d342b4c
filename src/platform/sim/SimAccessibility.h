#pragma once

#include "platform/Accessibility.h"

class SimSession;

// The accessibility service of a simulated session. Reads go to the SimAXElement trees of the running
// applications; they are safe from any thread (the trust flag is atomic, the process lookup and each
// element lock themselves). While the process is not trusted every read and action fails with APIDisabled.
class SimAccessibility final : public Accessibility {
public:
    explicit SimAccessibility(SimSession& session);

    bool isProcessTrusted() const override;
    bool isProcessTrustedWithOptions(bool prompt) override;

    // The running application's element, or a handle whose reads fail with InvalidUIElement.
    AXElement createApplication(qint32 processIdentifier) const override;
    AXResult copyAttributeValue(const AXElement& element, const QString& attribute) const override;
    // Only "AXPress" is supported.
    AXError performAction(const AXElement& element, const QString& action) override;

private:
    SimSession& m_session;
};
