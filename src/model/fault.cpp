#include "fault.h"

namespace brownian {

RuntimeFault::RuntimeFault(FaultKind kind, const std::string &detail)
    : std::runtime_error(detail)
    , m_kind(kind)
{
}

std::string RuntimeFault::japaneseName() const
{
    switch (m_kind) {
    case FaultKind::Overflow:
        return "オーバーフローしました。";
    case FaultKind::Subscript:
        return "インデックスが有効範囲にありません。";
    case FaultKind::Floating:
        return "浮動小数点演算でエラーが発生しました。";
    }
    return "実行時エラーが発生しました。";
}

std::string RuntimeFault::englishName() const
{
    switch (m_kind) {
    case FaultKind::Overflow:
        return "16-bit integer overflow";
    case FaultKind::Subscript:
        return "index out of range";
    case FaultKind::Floating:
        return "floating-point fault";
    }
    return "run-time fault";
}

void throwOverflow(const char *what)
{
    throw RuntimeFault(FaultKind::Overflow, std::string("overflow in ") + what);
}

void throwSubscript(long index, long size)
{
    throw RuntimeFault(FaultKind::Subscript,
        "index " + std::to_string(index) + " outside 0.." + std::to_string(size - 1));
}

void throwFloating(const char *what)
{
    throw RuntimeFault(FaultKind::Floating, std::string("floating fault in ") + what);
}

} // namespace brownian
