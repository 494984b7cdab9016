#pragma once
// Finding a window's controls by their object names, as a technician finds them by their place.

#include <QObject>
#include <QString>
#include <stdexcept>

namespace velorin::test {

template <class T>
T* child(const QObject* window, const char* name) {
    T* c = window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
    if (!c)
        throw std::runtime_error(std::string("no control named ") + name);
    return c;
}

}  // namespace velorin::test
