#include <gtest/gtest.h>

#include <QSignalSpy>
#include <atomic>
#include <thread>

#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimWorkspace.h"

namespace {

std::shared_ptr<SimApplication> makeApp(const QString& bundle, const QString& name) {
    return std::make_shared<SimApplication>(bundle, name);
}

TEST(SimWorkspaceTest, RunningApplicationsAndTheFrontmostOne) {
    SimSession session;
    Workspace& ws = session.workspace();
    QSignalSpy changed(&session, &SimSession::applicationsChanged);
    EXPECT_TRUE(ws.runningApplications().isEmpty());
    EXPECT_FALSE(ws.frontmostApplication());

    auto finder = makeApp("com.apple.finder", "Finder");
    auto nameless = std::make_shared<SimApplication>(std::nullopt, std::nullopt);
    auto excel = makeApp("com.microsoft.Excel", "Microsoft Excel");
    session.launch(finder);
    session.launch(nameless, false);
    session.launch(excel);
    EXPECT_EQ(changed.count(), 3);

    const auto running = ws.runningApplications();
    ASSERT_EQ(running.size(), 3);
    EXPECT_EQ(running[0].bundleIdentifier, "com.apple.finder");
    EXPECT_FALSE(running[1].bundleIdentifier);
    EXPECT_FALSE(running[1].localizedName);
    EXPECT_EQ(running[2].localizedName, "Microsoft Excel");
    EXPECT_NE(running[0].processIdentifier, running[2].processIdentifier);
    EXPECT_GT(running[1].processIdentifier, 0);
    EXPECT_EQ(ws.frontmostApplication()->bundleIdentifier, "com.microsoft.Excel");

    session.activate(finder);
    EXPECT_EQ(ws.frontmostApplication()->processIdentifier, finder->processIdentifier());
    // Quitting the frontmost application brings back the one active before it.
    session.activate(excel);
    session.quit(excel);
    EXPECT_EQ(session.frontmost(), finder);
    EXPECT_EQ(ws.runningApplications().size(), 2);
    EXPECT_EQ(session.applicationWithPid(excel->processIdentifier()), nullptr);

    // A relaunch gets a fresh process id.
    const qint32 oldPid = excel->processIdentifier();
    session.launch(excel);
    EXPECT_NE(excel->processIdentifier(), oldPid);
    EXPECT_EQ(session.applicationWithPid(excel->processIdentifier()), excel);
}

TEST(SimWorkspaceTest, UrlsInstalledApplicationsAndActivationPolicy) {
    SimSession session;
    Workspace& ws = session.workspace();
    QSignalSpy opened(&session, &SimSession::urlOpened);
    QSignalSpy settings(&session, &SimSession::systemSettingsRequested);

    const QUrl privacy("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    EXPECT_TRUE(ws.openURL(QUrl("https://keyloom.example/privacy")));
    EXPECT_TRUE(ws.openURL(privacy));
    EXPECT_FALSE(ws.openURL(QUrl()));
    EXPECT_EQ(session.openedURLs(), (QList<QUrl>{QUrl("https://keyloom.example/privacy"), privacy}));
    EXPECT_EQ(opened.count(), 2);
    ASSERT_EQ(settings.count(), 1);
    EXPECT_EQ(settings.first().first().toUrl(), privacy);

    EXPECT_FALSE(ws.urlForApplication("com.microsoft.Excel"));
    int launches = 0;
    session.install("com.microsoft.Excel", [&launches] {
        ++launches;
        return makeApp("com.microsoft.Excel", "Microsoft Excel");
    });
    const auto url = ws.urlForApplication("com.microsoft.Excel");
    ASSERT_TRUE(url);
    EXPECT_TRUE(ws.urlForApplication("com.microsoft.excel")) << "identifiers match regardless of case";

    auto other = makeApp("com.example.other", "Other");
    session.launch(other);
    EXPECT_TRUE(ws.openApplication(*url));
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(ws.frontmostApplication()->bundleIdentifier, "com.microsoft.Excel");
    session.activate(other);
    EXPECT_TRUE(ws.openApplication(*url));  // already running: brought forward, not relaunched
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(ws.frontmostApplication()->bundleIdentifier, "com.microsoft.Excel");
    EXPECT_EQ(ws.runningApplications().size(), 2);
    EXPECT_FALSE(ws.openApplication(QUrl("sim-app:com.example.missing")));
    EXPECT_FALSE(ws.openApplication(QUrl("https://example.com")));

    EXPECT_EQ(ws.activationPolicy(), ActivationPolicy::Regular);
    ws.setActivationPolicy(ActivationPolicy::Accessory);
    EXPECT_EQ(ws.activationPolicy(), ActivationPolicy::Accessory);
}

class SimAccessibilityTest : public ::testing::Test {
protected:
    SimAccessibilityTest() {
        session.setAccessibilityTrusted(true);
        session.launch(app);
        auto window = root()->addChild(SimAXElement::make("AXWindow", "Book1"));
        button = window->addChild(SimAXElement::make("AXButton", QString(), "Bold"));
        root()->setElement("AXMainWindow", window);
        root()->setElements("AXWindows", {window});
    }
    std::shared_ptr<SimAXElement> root() const { return app->applicationElement(); }

    SimSession session;
    Accessibility& ax = session.accessibility();
    std::shared_ptr<SimApplication> app = makeApp("com.microsoft.Excel", "Microsoft Excel");
    std::shared_ptr<SimAXElement> button;
};

TEST_F(SimAccessibilityTest, ReadsTheTreeOfARunningApplication) {
    AXElement appElement = ax.createApplication(app->processIdentifier());
    EXPECT_EQ(ax.copyAttributeValue(appElement, "AXRole").value.string, "AXApplication");
    EXPECT_EQ(ax.copyAttributeValue(appElement, "AXTitle").value.string, "Microsoft Excel");

    const AXResult main = ax.copyAttributeValue(appElement, "AXMainWindow");
    ASSERT_TRUE(main.ok());
    ASSERT_EQ(main.value.kind, AXValue::Kind::Element);
    EXPECT_EQ(ax.copyAttributeValue(main.value.element, "AXTitle").value.string, "Book1");
    EXPECT_EQ(ax.copyAttributeValue(appElement, "AXWindows").value.elements.size(), 1);

    const AXResult children = ax.copyAttributeValue(main.value.element, "AXChildren");
    ASSERT_EQ(children.value.kind, AXValue::Kind::ElementList);
    ASSERT_EQ(children.value.elements.size(), 1);
    EXPECT_EQ(children.value.elements.first(), button);
    // An element without children answers with an empty list; without a title, "unsupported".
    const AXResult leaf = ax.copyAttributeValue(button, "AXChildren");
    EXPECT_TRUE(leaf.ok());
    EXPECT_TRUE(leaf.value.elements.isEmpty());
    EXPECT_EQ(ax.copyAttributeValue(button, "AXTitle").error, AXError::AttributeUnsupported);
    EXPECT_EQ(ax.copyAttributeValue(button, "AXDescription").value.string, "Bold");

    button->setOtherValue("AXValue");
    EXPECT_EQ(ax.copyAttributeValue(button, "AXValue").value.kind, AXValue::Kind::Other);
    button->setAttributeError("AXDescription", AXError::CannotComplete);
    EXPECT_EQ(ax.copyAttributeValue(button, "AXDescription").error, AXError::CannotComplete);
    EXPECT_FALSE(ax.copyAttributeValue(button, "AXDescription").ok());
    button->removeAttribute("AXChildren");
    EXPECT_FALSE(ax.copyAttributeValue(button, "AXChildren").ok());

    // No such process: a handle whose reads fail.
    AXElement dead = ax.createApplication(424242);
    ASSERT_TRUE(dead);
    EXPECT_EQ(ax.copyAttributeValue(dead, "AXRole").error, AXError::InvalidUIElement);
    EXPECT_EQ(ax.performAction(dead, "AXPress"), AXError::InvalidUIElement);
    EXPECT_EQ(ax.copyAttributeValue(nullptr, "AXRole").error, AXError::IllegalArgument);
}

TEST_F(SimAccessibilityTest, PressesAreCountedAndTrustGuardsEverything) {
    int handled = 0;
    button->setPressHandler([&handled](SimAXElement& pressed) {
        ++handled;
        pressed.setString("AXTitle", "pressed");  // the handler runs outside the element's lock
    });
    EXPECT_EQ(ax.performAction(button, "AXPress"), AXError::Success);
    EXPECT_EQ(ax.performAction(button, "AXShowMenu"), AXError::ActionUnsupported);
    EXPECT_EQ(button->pressCount(), 1);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(button->title(), "pressed");

    QSignalSpy permissions(&session, &SimSession::permissionsChanged);
    session.setAccessibilityTrusted(false);
    EXPECT_EQ(permissions.count(), 1);
    EXPECT_FALSE(ax.isProcessTrusted());
    EXPECT_EQ(ax.copyAttributeValue(root(), "AXRole").error, AXError::APIDisabled);
    EXPECT_EQ(ax.performAction(button, "AXPress"), AXError::APIDisabled);
    EXPECT_EQ(button->pressCount(), 1);

    EXPECT_FALSE(ax.isProcessTrustedWithOptions(false));
    EXPECT_EQ(session.accessibilityPromptCount(), 0);
    EXPECT_FALSE(ax.isProcessTrustedWithOptions(true));
    EXPECT_FALSE(ax.isProcessTrustedWithOptions(true));
    EXPECT_EQ(session.accessibilityPromptCount(), 2);
    session.setAccessibilityTrusted(true);
    EXPECT_TRUE(ax.isProcessTrustedWithOptions(false));
}

// Walks the whole tree the way a diagnostic dump does; returns how many elements it saw.
int walk(const Accessibility& ax, const AXElement& element, int depth = 0) {
    if (depth > 50) {
        return 0;
    }
    ax.copyAttributeValue(element, "AXRole");
    ax.copyAttributeValue(element, "AXTitle");
    int count = 1;
    const AXResult children = ax.copyAttributeValue(element, "AXChildren");
    for (const AXElement& child : children.value.elements) {
        count += walk(ax, child, depth + 1);
    }
    return count;
}

TEST_F(SimAccessibilityTest, AWorkerThreadReadsTheTreeWhileTheMainThreadChangesIt) {
    std::atomic<bool> stop{false};
    std::atomic<int> walks{0};
    const qint32 pid = app->processIdentifier();
    std::thread reader([&] {
        while (!stop.load()) {
            walk(ax, ax.createApplication(pid));
            ++walks;
        }
    });

    auto other = makeApp("com.example.other", "Other");
    for (int round = 0; round < 300; ++round) {
        auto window = SimAXElement::make("AXWindow", QStringLiteral("Book%1").arg(round));
        for (int i = 0; i < 5; ++i) {
            window->addChild(SimAXElement::make("AXButton", QStringLiteral("B%1").arg(i)))
                ->addChild(SimAXElement::make("AXStaticText", "x"));
        }
        root()->setChildren({window});
        root()->setElement("AXMainWindow", window);
        window->setString("AXTitle", "renamed");
        button->removeAllChildren();
        if (round % 10 == 0) {
            session.launch(other, round % 20 == 0);
            session.quit(other);
            session.setAccessibilityTrusted(round % 20 != 0);
        }
    }
    session.setAccessibilityTrusted(true);
    while (walks.load() < 3) {
        std::this_thread::yield();
    }
    stop = true;
    reader.join();
    EXPECT_EQ(walk(ax, ax.createApplication(pid)), 1 + 1 + 5 * 2);
}

}  // namespace
