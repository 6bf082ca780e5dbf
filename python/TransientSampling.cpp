#include "TransientSampling.h"

namespace kexpy {

std::string shapeOf(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d) text += (d > 0 ? ", " : "") + std::to_string(array.shape(d));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

RealArray channelArray(std::size_t count) {
    return RealArray({static_cast<py::ssize_t>(count), static_cast<py::ssize_t>(kChannelCount)});
}

}  // namespace kexpy
