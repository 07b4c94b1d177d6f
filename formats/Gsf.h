#pragma once

#include <glib-object.h>

#include <QByteArray>
#include <QString>

#include <memory>

struct _GsfInput;

// What every reader over libgsf needs: the library set up once, GObjects that
// unreference themselves, and the file or bytes to read as an input.
namespace Gsf {

// Initialises libgsf once per process and keeps its warnings about damaged
// containers off stderr: the readers report them as errors of their own.
void Init();

struct Unref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};

}  // namespace Gsf

template <typename T>
using GPtr = std::unique_ptr<T, Gsf::Unref>;

namespace Gsf {

// The file as an input. Fails with RuntimeError: 3024 when it is missing, 3051
// when it cannot be read.
GPtr<_GsfInput> OpenFile(const QString& path);
// The bytes as an input, without a copy: they must outlive it. Nothing for none.
GPtr<_GsfInput> OpenBytes(const QByteArray& contents);

}  // namespace Gsf
