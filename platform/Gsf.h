#pragma once

#include <glib-object.h>

#include <memory>

// What every reader over libgsf needs: the library set up once, and GObjects
// that unreference themselves.
namespace Gsf {

// Initialises libgsf once per process and keeps its warnings about damaged
// containers off stderr: the readers report them as errors of their own.
void Init();

struct Unref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using Ptr = std::unique_ptr<T, Unref>;

}  // namespace Gsf

template <typename T>
using GPtr = Gsf::Ptr<T>;
