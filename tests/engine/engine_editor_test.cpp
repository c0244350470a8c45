// The editor's operations as a host issues them, the resize request through the host callback,
// and the product name read from the product description.
#include "EngineFixture.h"

#include "Editor.h"
#include "TestParent.h"

using namespace enginetest;

namespace {

struct CallbackLog {
    int calls = 0;
    int32_t code = 0, i1 = 0, i2 = 0;
};

int32_t hostCallback(int32_t code, void*, void*, int32_t i1, int32_t i2, int32_t, float, void* context) {
    auto* log = static_cast<CallbackLog*>(context);
    ++log->calls;
    log->code = code;
    log->i1 = i1;
    log->i2 = i2;
    return 0;
}

} // namespace

class EngineEditorTest : public EngineTest {
protected:
    void* createEditor(const std::string& productPath) {
        void* editor = nullptr;
        EXPECT_EQ(brevianOpcode(nullptr, BREVIAN_OP_EDITOR_CREATE, const_cast<char*>(productPath.c_str()),
                                &editor, engine, 0, 0, 0, 0.f),
                  0);
        return editor;
    }
    int32_t onEditor(void* editor, int32_t operation, void* p1 = nullptr, void* p2 = nullptr) {
        return brevianOpcode(editor, operation, p1, p2, nullptr, 0, 0, 0, 0.f);
    }
};

TEST_F(EngineEditorTest, HostSequenceShowsSizesAndDestroysTheEditor) {
    dir.copyShipped("Product.xml");
    // The host joins the data directory and the file name with a backslash on every platform.
    void* editor = createEditor(dir.utf8() + "\\Product.xml");
    ASSERT_NE(editor, nullptr);
    auto* e = static_cast<brevian::Editor*>(editor);
    EXPECT_EQ(e->productName(), "Brevian");

    EXPECT_NE(onEditor(editor, BREVIAN_OP_EDITOR_OPEN, nullptr), 0); // no parent
    void* parent = createTestParent();
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_OPEN, parent), 0);
    EXPECT_TRUE(e->isOpen());
    EXPECT_EQ(e->parent(), parent);
    int shownWidth = 0, shownHeight = 0;
    const bool hasWindow = childWindowInfo(e->window(), parent, shownWidth, shownHeight);
    if (hasWindow) {
        EXPECT_EQ(shownWidth, brevian::Editor::kWideWidth);
        EXPECT_EQ(shownHeight, brevian::Editor::kHeight);
    }
    ASSERT_EQ(op(BREVIAN_OP_EDITOR_ATTACH, editor), 0);

    int32_t height = 0, width = 0;
    ASSERT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_GET_SIZE, &height, &width), 0);
    EXPECT_EQ(width, brevian::Editor::kWideWidth);
    EXPECT_EQ(height, brevian::Editor::kHeight);
    EXPECT_NE(onEditor(editor, BREVIAN_OP_EDITOR_GET_SIZE, nullptr, &width), 0);

    CallbackLog log;
    ASSERT_EQ(op(BREVIAN_OP_SET_HOST_CALLBACK, reinterpret_cast<void*>(&hostCallback), &log), 0);
    EXPECT_EQ(op(BREVIAN_OP_IDLE), 0);

    // The view switch asks the host for the new size: code 8198, i1 width, i2 height.
    e->toggleView();
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.code, BREVIAN_HOST_EDITOR_RESIZED);
    EXPECT_EQ(log.i1, brevian::Editor::kCompactWidth);
    EXPECT_EQ(log.i2, brevian::Editor::kHeight);
    ASSERT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_GET_SIZE, &height, &width), 0);
    EXPECT_EQ(width, brevian::Editor::kCompactWidth);
    if (hasWindow) {
        ASSERT_TRUE(childWindowInfo(e->window(), parent, shownWidth, shownHeight));
        EXPECT_EQ(shownWidth, brevian::Editor::kCompactWidth);
    }
    e->toggleView();
    EXPECT_EQ(log.i1, brevian::Editor::kWideWidth);

    // The patch button changes the engine's patch, and the panel's text follows.
    const std::string before = e->statusLine(0);
    e->nextPatch();
    EXPECT_NE(e->statusLine(0), before);

    EXPECT_EQ(op(BREVIAN_OP_EDITOR_DETACH, editor), 0);
    void* window = e->window();
    EXPECT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_DESTROY), 0);
    if (hasWindow) {
        EXPECT_FALSE(childWindowInfo(window, parent, shownWidth, shownHeight)); // window gone
    }
    destroyTestParent(parent);
}

TEST_F(EngineEditorTest, CreationNeedsAnEngineAndAPlaceForTheHandle) {
    void* editor = reinterpret_cast<void*>(uintptr_t{1});
    EXPECT_NE(brevianOpcode(nullptr, BREVIAN_OP_EDITOR_CREATE, nullptr, &editor, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(editor, nullptr);
    EXPECT_NE(brevianOpcode(nullptr, BREVIAN_OP_EDITOR_CREATE, nullptr, nullptr, engine, 0, 0, 0, 0.f), 0);
    // A missing product description leaves the default name; an editor handle is no engine.
    editor = createEditor(utf8(dir.path() / "absent.xml"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(static_cast<brevian::Editor*>(editor)->productName(), "Brevian");
    void* second = nullptr;
    EXPECT_NE(brevianOpcode(nullptr, BREVIAN_OP_EDITOR_CREATE, nullptr, &second, editor, 0, 0, 0, 0.f), 0);
    EXPECT_NE(brevianOpcode(editor, BREVIAN_OP_PROCESS, nullptr, nullptr, nullptr, 0, 0, 0, 0.f), 0);
    EXPECT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_DESTROY), 0);
}

TEST_F(EngineEditorTest, EitherDestructionOrderIsSafe) {
    // Editor destroyed while still attached: the engine forgets it (idle must not touch it).
    void* editor = createEditor("");
    ASSERT_EQ(op(BREVIAN_OP_EDITOR_ATTACH, editor), 0);
    EXPECT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_DESTROY), 0);
    EXPECT_EQ(op(BREVIAN_OP_IDLE), 0);

    // Engine destroyed before its editor: the editor survives and can still be destroyed.
    editor = createEditor("");
    ASSERT_EQ(op(BREVIAN_OP_EDITOR_ATTACH, editor), 0);
    EXPECT_EQ(op(BREVIAN_OP_DESTROY), 0);
    engine = nullptr;
    EXPECT_EQ(static_cast<brevian::Editor*>(editor)->statusLine(0), "Brevian");
    static_cast<brevian::Editor*>(editor)->toggleView(); // no engine, no callback: no crash
    EXPECT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_DESTROY), 0);
}

// An editor size file: the attached editor takes exactly the size written in it and asks the host
// for it; anything malformed or out of range is refused and changes nothing.
TEST_F(EngineEditorTest, EditorSizeFileAsksTheHostForThatExactSize) {
    void* editor = createEditor("");
    ASSERT_NE(editor, nullptr);
    auto* e = static_cast<brevian::Editor*>(editor);
    void* parent = createTestParent();
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_OPEN, parent), 0);
    CallbackLog log;
    ASSERT_EQ(op(BREVIAN_OP_SET_HOST_CALLBACK, reinterpret_cast<void*>(&hostCallback), &log), 0);
    auto open = [&](const std::string& name, const std::string& text) {
        dir.write(name, text);
        return op(BREVIAN_OP_OPEN_FILE, const_cast<char*>(utf8(dir.path() / name).c_str()));
    };

    // Not attached yet: no editor to resize.
    EXPECT_NE(open("early.editorsize", "754 300"), 0);
    EXPECT_EQ(log.calls, 0);
    ASSERT_EQ(op(BREVIAN_OP_EDITOR_ATTACH, editor), 0);

    struct Case {
        const char* name;
        const char* text;
        bool accepted;
        int32_t width, height; // the size after the call
    };
    const Case cases[] = {
        {"a.editorsize", "754 300", true, 754, 300},
        {"b.EditorSize", "755 300\r\n", true, 755, 300},
        {"c.editorsize", "  640\t320 \n", true, 640, 320},
        {"d.editorsize", "64 4096", true, 64, 4096},
        {"e.editorsize", "63 300", false, 64, 4096},
        {"f.editorsize", "754 4097", false, 64, 4096},
        {"g.editorsize", "754", false, 64, 4096},
        {"h.editorsize", "754 300 1", false, 64, 4096},
        {"i.editorsize", "-754 300", false, 64, 4096},
        {"j.editorsize", "754x300", false, 64, 4096},
        {"k.editorsize", "99999999999 300", false, 64, 4096},
        {"l.editorsize", "", false, 64, 4096},
        {"m.txt", "700 300", false, 64, 4096}, // not a size file: neither a state nor a preset
    };
    int expectedCalls = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(open(c.name, c.text) == 0, c.accepted);
        if (c.accepted) ++expectedCalls;
        EXPECT_EQ(log.calls, expectedCalls);
        if (c.accepted) {
            EXPECT_EQ(log.code, BREVIAN_HOST_EDITOR_RESIZED);
            EXPECT_EQ(log.i1, c.width);
            EXPECT_EQ(log.i2, c.height);
        }
        int32_t height = 0, width = 0;
        ASSERT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_GET_SIZE, &height, &width), 0);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        int shownWidth = 0, shownHeight = 0;
        if (childWindowInfo(e->window(), parent, shownWidth, shownHeight)) {
            EXPECT_EQ(shownWidth, c.width);
            EXPECT_EQ(shownHeight, c.height);
        }
    }
    // The view switch still gives its own two sizes afterwards.
    e->toggleView();
    EXPECT_EQ(log.i1, brevian::Editor::kCompactWidth);
    EXPECT_EQ(log.i2, brevian::Editor::kHeight);

    EXPECT_EQ(op(BREVIAN_OP_EDITOR_DETACH, editor), 0);
    EXPECT_EQ(onEditor(editor, BREVIAN_OP_EDITOR_DESTROY), 0);
    destroyTestParent(parent);
}

TEST(EngineProduct, NameReadFromTheFirstNameElementOnly) {
    EXPECT_EQ(brevian::productNameFrom("<Product><Name>Brevian</Name></Product>"), "Brevian");
    EXPECT_EQ(brevian::productNameFrom("<Name>A</Name><Name>B</Name>"), "A");
    EXPECT_EQ(brevian::productNameFrom("<Name>unterminated"), "");
    EXPECT_EQ(brevian::productNameFrom("<Name><b>x</b></Name>"), "");
    EXPECT_EQ(brevian::productNameFrom("<Name>" + std::string(200, 'a') + "</Name>"), "");
    EXPECT_EQ(brevian::productNameFrom(""), "");
}
