// kelvo-wayland-input: the desktop tests' hands on a Wayland compositor
// (through a wlroots virtual pointer, or KWin's fake input). It
// reads commands from standard input, one a line, carries each out, waits
// until the compositor has processed it, and answers "ok" (or "error: why")
// on standard output:
//
//   move X Y               the pointer to X, Y on the output (logical pixels)
//   layout W H             the output is W x H logical pixels (a fractional
//                          scale, which wl_output rounds up); 0 0: its mode
//                          over its scale again
//   down B / up B          press / release button B (1 left, 2 middle, 3 right)
//   cover X Y W H          a grey window above everything at X, Y, W x H
//   uncover                takes it away
//   keyboard LAYOUT [VAR]  a keyboard of its own with that layout becomes the
//                          seat's keyboard, as a user's hardware keyboard is
//   keyboard none          takes it away
//
// The pointer and the window are made once and kept, like real devices.
// KWin offers fake input only to programs that a desktop entry names, and
// has no virtual keyboard: there, "keyboard" answers an error.

#include "fake-input-client-protocol.h"
#include "layer-shell-client-protocol.h"
#include "virtual-keyboard-client-protocol.h"
#include "virtual-pointer-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace {

struct Cover {
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    wl_buffer* buffer = nullptr;
};

struct Input {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    wl_output* output = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    org_kde_kwin_fake_input* fake = nullptr; // where there is no virtual pointer
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    int outputWidth = 0;  // the output's mode, in its pixels
    int outputHeight = 0;
    int outputScale = 1;  // its pixels to the layout's, which points are given in
    int layoutWidth = 0;  // the layout's size where told, else from the above
    int layoutHeight = 0;
    Cover keptCover;  // made at start, mapped while covering
    Cover freshCover; // made by each cover command
    int configured = 0; // configure events since the last cover was committed
};

std::uint32_t nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

template <typename T>
T* bindGlobal(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t version,
              std::uint32_t offered)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(version, offered)));
}

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version)
{
    auto* in = static_cast<Input*>(data);
    const std::string is = interface;
    if (is == wl_compositor_interface.name)
        in->compositor = bindGlobal<wl_compositor>(registry, name, &wl_compositor_interface, 4, version);
    else if (is == wl_shm_interface.name)
        in->shm = bindGlobal<wl_shm>(registry, name, &wl_shm_interface, 1, version);
    else if (is == wl_seat_interface.name && !in->seat)
        in->seat = bindGlobal<wl_seat>(registry, name, &wl_seat_interface, 1, version);
    else if (is == wl_output_interface.name && !in->output)
        in->output = bindGlobal<wl_output>(registry, name, &wl_output_interface, 2, version);
    else if (is == zwlr_layer_shell_v1_interface.name)
        in->layerShell = bindGlobal<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, 1, version);
    else if (is == zwlr_virtual_pointer_manager_v1_interface.name)
        in->pointers = bindGlobal<zwlr_virtual_pointer_manager_v1>(registry, name,
                                                                   &zwlr_virtual_pointer_manager_v1_interface, 1, version);
    else if (is == org_kde_kwin_fake_input_interface.name)
        in->fake = bindGlobal<org_kde_kwin_fake_input>(registry, name, &org_kde_kwin_fake_input_interface, 4, version);
    else if (is == zwp_virtual_keyboard_manager_v1_interface.name)
        in->keyboards = bindGlobal<zwp_virtual_keyboard_manager_v1>(registry, name,
                                                                    &zwp_virtual_keyboard_manager_v1_interface, 1, version);
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

void onMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t)
{
    auto* in = static_cast<Input*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        in->outputWidth = width;
        in->outputHeight = height;
    }
}

const wl_output_listener outputListener = {
    [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char*,
       const char*, std::int32_t) {},
    onMode,
    [](void*, wl_output*) {},
    [](void* data, wl_output*, std::int32_t scale) { static_cast<Input*>(data)->outputScale = scale > 0 ? scale : 1; },
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

void onCoverConfigure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t, std::uint32_t)
{
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    ++static_cast<Input*>(data)->configured;
}

const zwlr_layer_surface_v1_listener coverListener = {onCoverConfigure, [](void*, zwlr_layer_surface_v1*) {}};

int memfdWith(const void* data, size_t size)
{
    const int fd = memfd_create("kelvo-wayland-input", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, off_t(size)) != 0)
        return -1;
    if (data && write(fd, data, size) != ssize_t(size))
        return -1;
    return fd;
}

// A covering window: a grey layer surface on the overlay layer.
// Compositors disagree on which surface of a layer lies above: sway 1.7
// stacks them by their first commit, the older above; sway 1.9 and later,
// the newer above. So two cover the same place: one made when the tool
// starts and kept (mapped only while it covers), above whatever a test
// starts later on the older sway, and one made afresh by each cover
// command, above whatever came before on the newer.
Cover makeCoverSurface(Input& in)
{
    Cover c;
    c.surface = wl_compositor_create_surface(in.compositor);
    c.layer = zwlr_layer_shell_v1_get_layer_surface(in.layerShell, c.surface, nullptr,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "kelvo-test-cover");
    zwlr_layer_surface_v1_add_listener(c.layer, &coverListener, &in);
    zwlr_layer_surface_v1_set_anchor(c.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    // Placed on the whole output, whatever panels reserve.
    zwlr_layer_surface_v1_set_exclusive_zone(c.layer, -1);
    zwlr_layer_surface_v1_set_size(c.layer, 1, 1);
    // Its place among the layer's surfaces is taken at this first commit.
    wl_surface_commit(c.surface);
    return c;
}

void unmapCover(Cover& c)
{
    if (c.surface) {
        wl_surface_attach(c.surface, nullptr, 0, 0);
        wl_surface_commit(c.surface);
    }
    if (c.buffer)
        wl_buffer_destroy(c.buffer);
    c.buffer = nullptr;
}

void destroyCover(Cover& c)
{
    unmapCover(c);
    if (c.layer)
        zwlr_layer_surface_v1_destroy(c.layer);
    if (c.surface)
        wl_surface_destroy(c.surface);
    c = Cover{};
}

std::string uncover(Input& in)
{
    unmapCover(in.keptCover);
    destroyCover(in.freshCover);
    return {};
}

wl_buffer* greyBuffer(Input& in, int width, int height)
{
    const size_t stride = size_t(width) * 4, size = stride * size_t(height);
    const int fd = memfdWith(nullptr, size);
    if (fd < 0)
        return nullptr;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    auto* argb = static_cast<std::uint32_t*>(pixels);
    for (size_t i = 0; i < size / 4; ++i)
        argb[i] = 0xff808080u;
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(in.shm, fd, std::int32_t(size));
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, std::int32_t(stride), WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

std::string mapCover(Input& in, Cover& c, int x, int y, int width, int height)
{
    wl_surface_attach(c.surface, nullptr, 0, 0);
    if (c.buffer)
        wl_buffer_destroy(c.buffer);
    if (!(c.buffer = greyBuffer(in, width, height)))
        return "no memory for the window";
    zwlr_layer_surface_v1_set_size(c.layer, std::uint32_t(width), std::uint32_t(height));
    zwlr_layer_surface_v1_set_margin(c.layer, y, 0, 0, x);
    in.configured = 0;
    wl_surface_commit(c.surface);
    while (in.configured == 0)
        if (wl_display_roundtrip(in.display) < 0)
            return "the compositor went away";
    wl_surface_attach(c.surface, c.buffer, 0, 0);
    wl_surface_damage(c.surface, 0, 0, width, height);
    wl_surface_commit(c.surface);
    return {};
}

std::string cover(Input& in, int x, int y, int width, int height)
{
    if (!in.keptCover.layer)
        return "the compositor offers no layer shell or shared memory";
    if (width <= 0 || height <= 0)
        return "the window needs a size";
    destroyCover(in.freshCover);
    in.freshCover = makeCoverSurface(in);
    wl_display_roundtrip(in.display); // its first configure, before the one each cover waits for
    for (Cover* c : {&in.keptCover, &in.freshCover})
        if (std::string error = mapCover(in, *c, x, y, width, height); !error.empty())
            return error;
    return {};
}

std::string keyboard(Input& in, const std::string& layout, const std::string& variant)
{
    if (in.keyboard) {
        zwp_virtual_keyboard_v1_destroy(in.keyboard);
        in.keyboard = nullptr;
    }
    if (layout == "none")
        return {};
    if (!in.keyboards)
        return "the compositor offers no virtual keyboard";
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{nullptr, nullptr, layout.c_str(), variant.empty() ? nullptr : variant.c_str(), nullptr};
    xkb_keymap* keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    if (!text)
        return "no such layout: " + layout;
    const size_t size = std::strlen(text) + 1;
    const int fd = memfdWith(text, size);
    std::free(text);
    if (fd < 0)
        return "no memory for the keymap";
    in.keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(in.keyboards, in.seat);
    zwp_virtual_keyboard_v1_keymap(in.keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(size));
    close(fd);
    // Typed on once, as a user's keyboard is, it becomes the seat's keyboard
    // and its keymap goes to every client. A lone Shift types nothing.
    constexpr std::uint32_t LeftShift = 42;
    zwp_virtual_keyboard_v1_key(in.keyboard, nowMs(), LeftShift, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(in.keyboard, nowMs(), LeftShift, WL_KEYBOARD_KEY_STATE_RELEASED);
    return {};
}

std::string button(Input& in, int which, bool down)
{
    static const std::uint32_t codes[] = {0x110, 0x112, 0x111}; // left, middle, right
    if (which < 1 || which > 3)
        return "buttons are 1 to 3";
    const std::uint32_t state = down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
    if (!in.pointer) {
        org_kde_kwin_fake_input_button(in.fake, codes[which - 1], state);
        return {};
    }
    zwlr_virtual_pointer_v1_button(in.pointer, nowMs(), codes[which - 1],
                                   state);
    zwlr_virtual_pointer_v1_frame(in.pointer);
    return {};
}

std::string move(Input& in, int x, int y)
{
    // Points are in the layout's pixels, as the compositor places windows:
    // the output's own divided by its scale.
    const int width = in.layoutWidth ? in.layoutWidth : in.outputWidth / in.outputScale;
    const int height = in.layoutHeight ? in.layoutHeight : in.outputHeight / in.outputScale;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return "the point is off the output";
    if (!in.pointer) {
        org_kde_kwin_fake_input_pointer_motion_absolute(in.fake, wl_fixed_from_int(x), wl_fixed_from_int(y));
        return {};
    }
    zwlr_virtual_pointer_v1_motion_absolute(in.pointer, nowMs(), std::uint32_t(x), std::uint32_t(y),
                                            std::uint32_t(width), std::uint32_t(height));
    zwlr_virtual_pointer_v1_frame(in.pointer);
    return {};
}

std::string run(Input& in, const std::string& line)
{
    std::istringstream words(line);
    std::string command;
    words >> command;
    int a = 0, b = 0, c = 0, d = 0;
    if (command == "move" && words >> a >> b)
        return move(in, a, b);
    if (command == "layout" && words >> a >> b && a >= 0 && b >= 0) {
        in.layoutWidth = a;
        in.layoutHeight = b;
        return {};
    }
    if ((command == "down" || command == "up") && words >> a)
        return button(in, a, command == "down");
    if (command == "cover" && words >> a >> b >> c >> d)
        return cover(in, a, b, c, d);
    if (command == "uncover")
        return uncover(in);
    std::string layout, variant;
    if (command == "keyboard" && words >> layout) {
        words >> variant;
        return keyboard(in, layout, variant);
    }
    return "unknown command or missing numbers: " + line;
}

} // namespace

int main()
{
    Input in;
    in.display = wl_display_connect(nullptr);
    if (!in.display) {
        std::fprintf(stderr, "kelvo-wayland-input: cannot connect to the Wayland compositor\n");
        return 2;
    }
    static const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};
    wl_registry* registry = wl_display_get_registry(in.display);
    wl_registry_add_listener(registry, &registryListener, &in);
    wl_display_roundtrip(in.display);
    if ((!in.pointers && !in.fake) || !in.seat || !in.output) {
        std::fprintf(stderr, "kelvo-wayland-input: the compositor offers no virtual pointer (nor fake input), "
                             "seat or output\n");
        return 2;
    }
    wl_output_add_listener(in.output, &outputListener, &in);
    if (in.pointers)
        in.pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(in.pointers, in.seat);
    else
        org_kde_kwin_fake_input_authenticate(in.fake, "kelvo-wayland-input", "the desktop tests' pointer");
    if (in.layerShell && in.compositor && in.shm)
        in.keptCover = makeCoverSurface(in);
    wl_display_roundtrip(in.display);

    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty())
            continue;
        std::string error = run(in, line);
        if (error.empty() && wl_display_roundtrip(in.display) < 0)
            error = "the compositor went away";
        std::cout << (error.empty() ? "ok" : "error: " + error) << std::endl;
        if (wl_display_get_error(in.display))
            return 1;
    }
    destroyCover(in.keptCover);
    destroyCover(in.freshCover);
    keyboard(in, "none", {});
    if (in.pointer)
        zwlr_virtual_pointer_v1_destroy(in.pointer);
    wl_display_roundtrip(in.display);
    wl_display_disconnect(in.display);
    return 0;
}
