// The editor view through the test host, with the fake engine host: which
// window types it takes, the view opcodes of attaching and removing, the
// run-loop timer that drives the engine's window, sizes both ways, and the
// controller's one open view.
#include <cstring>

#include "support/PlugTestSupport.h"

using namespace plugtest;

namespace {

class EditorTest : public PlugTest {
protected:
    void SetUp() override {
        PlugTest::SetUp();
        instance = makeInstance(0);
        ASSERT_TRUE(instance);
        frame = new HostPlugFrame(runLoop);
    }
    void TearDown() override {
        instance.reset();
        if (frame) frame->release();
        PlugTest::TearDown();
    }
    IPtr<IPlugView> openView() {
        return IPtr<IPlugView>::adopt(instance->controller()->createView("editor"));
    }
    std::vector<int32_t> viewOpcodes() {
        std::vector<int32_t> list;
        for (int32_t op : engine.opcodes())
            if (op == 21 || op == 22 || (op >= 23 && op <= 27) || op == 43 || op == 44)
                list.push_back(op);
        return list;
    }

    std::unique_ptr<PluginInstance> instance;
    HostPlugFrame* frame = nullptr;
    void* const parent = reinterpret_cast<void*>(uintptr_t(0x2A00007));
};

TEST_F(EditorTest, TakesOnlyAnX11Window) {
    auto view = openView();
    ASSERT_TRUE(view);
    const struct {
        FIDString type;
        tresult result;
    } cases[] = {{kPlatformTypeX11EmbedWindowID, kResultTrue},
                 {kPlatformTypeNSView, kResultFalse},
                 {kPlatformTypeHWND, kResultFalse},
                 {nullptr, kResultFalse}};
    for (const auto& c : cases)
        EXPECT_EQ(view->isPlatformTypeSupported(c.type), c.result) << (c.type ? c.type : "null");
    EXPECT_EQ(view->attached(parent, kPlatformTypeNSView), kResultFalse);
    EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_EQ(instance->controller()->createView("other"), nullptr);
    auto scale = queryInterfaceOf<IPlugViewContentScaleSupport>(view.get());
    ASSERT_TRUE(scale);
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultOk);
}

TEST_F(EditorTest, OpensTheEnginesWindowAndDrivesItFromTheRunLoop) {
    auto view = openView();
    ASSERT_TRUE(view);
    ASSERT_EQ(view->setFrame(frame), kResultOk);
    engine.clearCalls();
    ASSERT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_EQ(viewOpcodes(), (std::vector<int32_t>{23, 25, 21}));
    const fakeengine::Call* open = engine.find(vantor::kOpOpenView);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->handle, engine.viewHandle());
    EXPECT_EQ(open->p1, parent);
    EXPECT_EQ(open->l2, 8);
    EXPECT_EQ(engine.find(vantor::kOpAddView)->p1, engine.viewHandle());
    EXPECT_EQ(runLoop->timerCount(), 1u);
    EXPECT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultFalse); // once

    engine.clearCalls();
    EXPECT_EQ(runLoop->advance(100), 5);
    EXPECT_EQ(viewOpcodes(), (std::vector<int32_t>(5, 44)));
    EXPECT_EQ(engine.find(vantor::kOpViewTimerNotify)->handle, engine.viewHandle());

    engine.clearCalls();
    ASSERT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(viewOpcodes(), (std::vector<int32_t>{22, 24}));
    EXPECT_EQ(runLoop->timerCount(), 0u);
    EXPECT_EQ(runLoop->advance(100), 0);
}

TEST_F(EditorTest, AnEngineThatRefusesTheViewLeavesNothingRunning) {
    auto view = openView();
    ASSERT_TRUE(view);
    view->setFrame(frame);
    engine.fail(vantor::kOpAddView);
    EXPECT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_EQ(runLoop->timerCount(), 0u);
    EXPECT_EQ(engine.opcodes().back(), vantor::kOpDestroyViewTicket);
}

TEST_F(EditorTest, SizesComeFromTheEngineAndGoToTheFrame) {
    engine->viewWidth = 640;
    engine->viewHeight = 448;
    auto view = openView();
    ASSERT_TRUE(view);
    view->setFrame(frame);
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk); // before attaching: the ticket answers
    EXPECT_EQ(size.getWidth(), 640);
    EXPECT_EQ(size.getHeight(), 448);
    ViewRect asked(0, 0, 10, 10);
    ASSERT_EQ(view->checkSizeConstraint(&asked), kResultOk);
    EXPECT_EQ(asked.right, 640);
    EXPECT_EQ(view->canResize(), kResultTrue);
    EXPECT_EQ(view->getSize(nullptr), kInvalidArgument);

    ASSERT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    const auto& cb = engine->callback;
    ASSERT_NE(cb.function, nullptr);
    EXPECT_EQ(
        cb.function(vantor::ZEFA_HOST_SIZE_CHANGED, nullptr, nullptr, 960, 672, 0, 0, cb.userData),
        0);
    ASSERT_EQ(frame->resizes.size(), 1u);
    EXPECT_EQ(frame->resizes[0].right, 960);
    EXPECT_EQ(frame->resizes[0].bottom, 672);
    view->removed();

    engine->viewWidth = -1; // not a size
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 0);
}

TEST_F(EditorTest, TheControllerHasOneOpenViewUntilItIsReleased) {
    auto view = openView();
    ASSERT_TRUE(view);
    EXPECT_FALSE(openView()); // one engine window per instance
    view.reset();
    auto again = openView();
    EXPECT_TRUE(again);
    // A size change after the view went is not sent to it.
    again.reset();
    const auto& cb = engine->callback;
    EXPECT_EQ(
        cb.function(vantor::ZEFA_HOST_SIZE_CHANGED, nullptr, nullptr, 10, 10, 0, 0, cb.userData),
        0);
    EXPECT_TRUE(frame->resizes.empty());
}

} // namespace
