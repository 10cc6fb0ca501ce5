// The plane similarity as a value: what the fit finds, what the drawing's
// projection is identified by, and what the matrix, the report and the
// plot are made from.
//
// A similarity carries a point p of one plane (the "from" plane: usually
// the drawing) onto the other (the "to" plane: the scene's east/north, or
// projected coordinates):
//   to = to_c + K R(angle_rad) (p - from_c)
// where from_c is a reference point of the from plane (the centroid of the
// points it was fitted to) and to_c is where it lands. With from_c = (0, 0)
// and to_c = (A, B) this is the tool's model
//   east  = (x cos(angle) - y sin(angle)) K + A
//   north = (x sin(angle) + y cos(angle)) K + B
// computed in exactly that order, as the fit's residual computes it. The
// matrix (ToMatrix) holds the same K cos, K sin, A and B; applied as
// p x - q y + A it agrees with Apply to a few units in the last place of
// K |(x, y)| + |A|, not bit for bit.
// The estimators are in fit/plane_similarity.h.
#ifndef GEOANCHOR_COMMON_PLANE_SIMILARITY_H_
#define GEOANCHOR_COMMON_PLANE_SIMILARITY_H_

#include <array>
#include <cmath>

#include "common/points.h"

namespace geoanchor {

// Column-major, element index = 4 * column + row.
using TransformMatrix = std::array<double, 16>;

class PlaneSimilarity {
 public:
  PlaneSimilarity() = default;
  PlaneSimilarity(const Point2& from_c, const Point2& to_c, double K,
                  double angle_rad)
      : from_c_(from_c),
        to_c_(to_c),
        K_(K),
        angle_rad_(angle_rad),
        cos_(std::cos(angle_rad)),
        sin_(std::sin(angle_rad)) {}
  // The tool's model: from_c = (0, 0), to_c = (A, B).
  static PlaneSimilarity FromModel(double A_m, double B_m, double K,
                                   double angle_rad) {
    return PlaneSimilarity(Point2{0.0, 0.0}, Point2{A_m, B_m}, K, angle_rad);
  }
  // The similarity whose rotation is the direction of (c, s) and whose
  // scale is `K`: cos = c / |(c, s)|, sin = s / |(c, s)|, by the basic
  // operations and sqrt alone, which round the same on every platform
  // (unlike sin and cos); only the angle itself is atan2(s, c).
  static PlaneSimilarity FromDirection(const Point2& from_c, const Point2& to_c,
                                       double K, double c, double s) {
    PlaneSimilarity t;
    t.from_c_ = from_c;
    t.to_c_ = to_c;
    t.K_ = K;
    t.angle_rad_ = std::atan2(s, c);
    const double length = std::sqrt(c * c + s * s);
    t.cos_ = c / length;
    t.sin_ = s / length;
    return t;
  }
  // The same map in the tool's model form, its cos and sin those of its
  // angle: what the fit reports, the matrix carries and every later stage
  // applies.
  PlaneSimilarity InModelForm() const {
    return FromModel(A_m(), B_m(), K_, angle_rad_);
  }

  // to_c + K R (p - from_c).
  Point2 Apply(const Point2& p) const {
    const double x = p.x - from_c_.x, y = p.y - from_c_.y;
    return Point2{(x * cos_ - y * sin_) * K_ + to_c_.x,
                  (x * sin_ + y * cos_) * K_ + to_c_.y};
  }
  // The point that Apply carries onto `q`.
  Point2 Invert(const Point2& q) const {
    const Point2 back =
        TurnBack(Point2{(q.x - to_c_.x) / K_, (q.y - to_c_.y) / K_});
    return Point2{from_c_.x + back.x, from_c_.y + back.y};
  }
  // `to` minus Apply(from): the tool's deviation (target minus transformed
  // source).
  Point2 Deviation(const Point2& from, const Point2& to) const {
    const Point2 q = Apply(from);
    return Point2{to.x - q.x, to.y - q.y};
  }
  // A vector of the from plane carried into the to plane, K R v: how a
  // displacement of the drawing moves in the scene.
  Point2 Turn(const Point2& v) const {
    return Point2{(v.x * cos_ - v.y * sin_) * K_,
                  (v.x * sin_ + v.y * cos_) * K_};
  }
  // A vector of the to plane turned back by the angle, unscaled: a
  // deviation along the from plane's axes.
  Point2 TurnBack(const Point2& v) const {
    return Point2{v.x * cos_ + v.y * sin_, -v.x * sin_ + v.y * cos_};
  }

  // The 4x4 matrix that applies the model to the column vector (x, y, z,
  // 1): (p x - q y + A, q x + p y + B, z + zoffset_m, 1) with p = K cos,
  // q = K sin. Element 4 is element 1 with its sign bit flipped; every
  // other zero is +0.
  TransformMatrix ToMatrix(double zoffset_m) const {
    TransformMatrix m;
    m.fill(+0.0);
    m[0] = p();
    m[1] = q();
    m[4] = -q();  // exact negation: -0.0 when q is +0.0
    m[5] = p();
    m[10] = 1.0;
    m[12] = A_m();
    m[13] = B_m();
    m[14] = zoffset_m;
    m[15] = 1.0;
    return m;
  }

  const Point2& from_c() const { return from_c_; }
  const Point2& to_c() const { return to_c_; }
  double K() const { return K_; }
  double angle_rad() const { return angle_rad_; }
  double cos() const { return cos_; }
  double sin() const { return sin_; }
  // The two coefficients of rotation and scale: K cos(angle), K sin(angle).
  double p() const { return K_ * cos_; }
  double q() const { return K_ * sin_; }
  // The model's offsets: where the from plane's origin lands.
  double A_m() const {
    return to_c_.x - K_ * (from_c_.x * cos_ - from_c_.y * sin_);
  }
  double B_m() const {
    return to_c_.y - K_ * (from_c_.x * sin_ + from_c_.y * cos_);
  }

 private:
  Point2 from_c_;
  Point2 to_c_;
  double K_ = 1.0;
  double angle_rad_ = 0.0;
  double cos_ = 1.0;
  double sin_ = 0.0;
};

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_PLANE_SIMILARITY_H_
