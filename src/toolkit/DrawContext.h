// What the toolkit's paint procedures hand to an object's paint operation: the device context
// and the size of the area being painted. Built on the stack for one paint call.
#pragma once

namespace vantor::VTR {

// Rectangles in the toolkit's order: top, left, bottom, right (pixels).
struct VRect {
    double top = 0, left = 0, bottom = 0, right = 0;
};
// Offsets: x, y.
struct VPoint {
    double x = 0, y = 0;
};

class DrawContext {
public:
    DrawContext(void* deviceContext, double width, double height)
        : deviceContext(deviceContext), width(width), height(height) {}
    virtual ~DrawContext() = default;

    void* deviceContext; // HDC
    double originX = 0, originY = 0;
    double width, height;
    double red = 0, green = 0, blue = 0, alpha = 255.0;
};

} // namespace vantor::VTR
