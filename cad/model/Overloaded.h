#pragma once
// The lambdas given, as one visitor for std::visit (cad::visitData over
// entity data). Visiting an entity's data
// with one lambda per kind (and no catch-all) makes a kind added to
// EntityData fail to compile wherever it is not handled, or passed over by
// name with ignore<>.
#include <type_traits>
#include <variant>

namespace cad {

// Big and rare kinds of entity data are held in a box (cad/model/Entity.h);
// the lists below name the kinds themselves.
template <class T> class Boxed;
template <class T> struct Unboxed { using type = T; };
template <class T> struct Unboxed<Boxed<T>> { using type = T; };
template <class T> using UnboxedT = typename Unboxed<T>::type;

template <class... Fs>
struct overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
overloaded(Fs...) -> overloaded<Fs...>;

// The part of a visitor that does nothing for the kinds named.
template <class... Kinds>
struct ignore {
    template <class T>
        requires(std::is_same_v<std::remove_cvref_t<T>, Kinds> || ...)
    void operator()(T&&) const {}
};

// A list of entity kinds, and whether two lists together name every
// alternative of a variant: what a reader makes, and what it never makes.
template <class... Kinds>
struct KindList {};

template <class Kind, class List>
inline constexpr bool kListed = false;
template <class Kind, class... Kinds>
inline constexpr bool kListed<Kind, KindList<Kinds...>> = (std::is_same_v<Kind, Kinds> || ...);

template <class Variant, class Made, class NotMade>
inline constexpr bool kCoversEveryKind = false;
template <class... Alternatives, class Made, class NotMade>
inline constexpr bool kCoversEveryKind<std::variant<Alternatives...>, Made, NotMade> =
    ((kListed<UnboxedT<Alternatives>, Made> != kListed<UnboxedT<Alternatives>, NotMade>) && ...);

}  // namespace cad
