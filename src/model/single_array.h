#pragma once

#include "fault.h"
#include "integer.h"

#include <vector>

namespace brownian {

/// An array of Singles with lower bound 0 whose every element access is range-checked:
/// an index outside 0..size()-1 raises a subscript fault.
class SingleArray
{
public:
    /// Discards the contents and re-creates the array with `count` zero elements.
    void redim(int count) { m_values.assign(count > 0 ? count : 0, 0.0f); }

    int size() const { return static_cast<int>(m_values.size()); }

    float &operator[](Integer index) { return m_values[checkedIndex(index.value())]; }
    float operator[](Integer index) const { return m_values[checkedIndex(index.value())]; }
    float &at(int index) { return m_values[checkedIndex(index)]; }
    float at(int index) const { return m_values[checkedIndex(index)]; }

    /// Raw storage for loops whose bounds were checked once against size().
    float *data() { return m_values.data(); }
    const float *data() const { return m_values.data(); }

private:
    std::size_t checkedIndex(int index) const
    {
        if (index < 0 || index >= size())
            throwSubscript(index, size());
        return static_cast<std::size_t>(index);
    }

    std::vector<float> m_values;
};

} // namespace brownian
