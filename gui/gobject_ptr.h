// Owners for GObject references and GLib strings, so that no path out of a function leaks one.
// Any thread that may touch the object, no lock; an owner of null releases nothing, so a failed
// creation needs no check before it is handed over.
#pragma once
#include <glib-object.h>

#include <memory>

namespace gobj {

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
struct Free {
    void operator()(gpointer p) const { g_free(p); }
};

template <typename T>
using Ref = std::unique_ptr<T, Unref>;
using Text = std::unique_ptr<gchar, Free>;

}  // namespace gobj
