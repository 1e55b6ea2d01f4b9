// Owning handles for MuPDF objects: one reference, dropped with the
// context it was made in.
#pragma once

#include <utility>

#include "load/mupdf_shim.h"

namespace foli {

template <typename T, void (*Drop)(fz_context*, T*)>
class MuHandle {
public:
    MuHandle() = default;
    MuHandle(fz_context* ctx, T* object) : ctx_(ctx), object_(object) {}
    ~MuHandle() { reset(); }
    MuHandle(MuHandle&& other) noexcept
        : ctx_(other.ctx_), object_(std::exchange(other.object_, nullptr)) {}
    MuHandle& operator=(MuHandle&& other) noexcept {
        if (this != &other) {
            reset();
            ctx_ = other.ctx_;
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    MuHandle(const MuHandle&) = delete;
    MuHandle& operator=(const MuHandle&) = delete;

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    fz_context* context() const { return ctx_; }

    void reset() {
        if (object_ != nullptr) Drop(ctx_, std::exchange(object_, nullptr));
    }

private:
    fz_context* ctx_ = nullptr;
    T* object_ = nullptr;
};

using DocumentHandle = MuHandle<fz_document, fz_drop_document>;
using PageHandle = MuHandle<fz_page, fz_drop_page>;
using TextPageHandle = MuHandle<fz_stext_page, fz_drop_stext_page>;
using PixmapHandle = MuHandle<fz_pixmap, fz_drop_pixmap>;
using ImageHandle = MuHandle<fz_image, fz_drop_image>;
using BufferHandle = MuHandle<fz_buffer, fz_drop_buffer>;
using OutlineHandle = MuHandle<fz_outline, fz_drop_outline>;
using LinkHandle = MuHandle<fz_link, fz_drop_link>;

// A second reference to an image held by a text page, so the image can
// outlive the page it was found on.
inline ImageHandle keep_image(fz_context* ctx, fz_image* image) { return ImageHandle(ctx, fz_keep_image(ctx, image)); }

}  // namespace foli
