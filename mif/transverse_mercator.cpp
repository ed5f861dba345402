#include "mif/transverse_mercator.h"

#include <cmath>

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

}  // namespace

TransverseMercator::TransverseMercator(double axis, double inverse_flattening, double central_meridian, double scale,
                                       double false_easting, double false_northing)
    : central_meridian_(central_meridian), scale_(scale), false_easting_(false_easting), false_northing_(false_northing) {
  const double f = 1.0 / inverse_flattening;
  e_ = std::sqrt(f * (2.0 - f));
  const double n = f / (2.0 - f);
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
  rectifying_ = axis / (1.0 + n) * (1.0 + n2 / 4.0 + n4 / 64.0 + n6 / 256.0);
  alpha_[0] = 0.0;
  alpha_[1] = n / 2.0 - 2.0 * n2 / 3.0 + 5.0 * n3 / 16.0 + 41.0 * n4 / 180.0 - 127.0 * n5 / 288.0 + 7891.0 * n6 / 37800.0;
  alpha_[2] = 13.0 * n2 / 48.0 - 3.0 * n3 / 5.0 + 557.0 * n4 / 1440.0 + 281.0 * n5 / 630.0 - 1983433.0 * n6 / 1935360.0;
  alpha_[3] = 61.0 * n3 / 240.0 - 103.0 * n4 / 140.0 + 15061.0 * n5 / 26880.0 + 167603.0 * n6 / 181440.0;
  alpha_[4] = 49561.0 * n4 / 161280.0 - 179.0 * n5 / 168.0 + 6601661.0 * n6 / 7257600.0;
  alpha_[5] = 34729.0 * n5 / 80640.0 - 3418889.0 * n6 / 1995840.0;
  alpha_[6] = 212378941.0 * n6 / 319334400.0;
}

void TransverseMercator::Forward(double longitude, double latitude, double* easting, double* northing) const {
  ForwardUnshifted(longitude, latitude, easting, northing);
  *easting += false_easting_;
  *northing += false_northing_;
}

void TransverseMercator::ForwardUnshifted(double longitude, double latitude, double* easting, double* northing) const {
  // Karney's equations with the fewest calls of the library: a sine and cosine each of the
  // latitude and the longitude, two logarithms, an exponential, an arc tangent and roots; the
  // sines and cosines of the multiple angles of the series come from the first ones.
  const double lambda = (longitude - central_meridian_) * kDegree;
  const double phi = latitude * kDegree;
  const double sin_phi = std::sin(phi), cos_phi = std::cos(phi);
  // The conformal latitude, as its tangent: tau' = tau sqrt(1 + sigma^2) - sigma sqrt(1 + tau^2),
  // sigma = sinh(e atanh(e sin phi)).
  const double es = e_ * sin_phi;
  const double stretch = std::exp(e_ * 0.5 * std::log((1.0 + es) / (1.0 - es)));
  const double sigma = 0.5 * (stretch - 1.0 / stretch);
  const double tau = sin_phi / cos_phi;
  const double tau_prime = tau * std::sqrt(1.0 + sigma * sigma) - sigma / std::fabs(cos_phi);
  // The spherical transverse Mercator of the conformal sphere.
  const double cos_lambda = std::cos(lambda), sin_lambda = std::sin(lambda);
  const double r = std::sqrt(tau_prime * tau_prime + cos_lambda * cos_lambda);
  const double xi = std::atan2(tau_prime, cos_lambda);
  const double sinh_eta = sin_lambda / r;
  const double cosh_eta = std::sqrt(1.0 + sinh_eta * sinh_eta);
  const double eta = std::log(sinh_eta + cosh_eta);  // asinh, for |eta| well below 1
  const double sin_xi = tau_prime / r, cos_xi = cos_lambda / r;
  // Krüger's series, sin(2j xi) cosh(2j eta) and cos(2j xi) sinh(2j eta) by the
  // multiple-angle formulas from the first.
  const double s2 = 2.0 * sin_xi * cos_xi, c2 = cos_xi * cos_xi - sin_xi * sin_xi;
  const double sh2 = 2.0 * sinh_eta * cosh_eta, ch2 = cosh_eta * cosh_eta + sinh_eta * sinh_eta;
  double s = s2, c = c2, sh = sh2, ch = ch2;
  double xi_sum = xi, eta_sum = eta;
  for (int j = 1; j <= 6; ++j) {
    xi_sum += alpha_[j] * s * ch;
    eta_sum += alpha_[j] * c * sh;
    const double s_next = s * c2 + c * s2, c_next = c * c2 - s * s2;
    const double sh_next = sh * ch2 + ch * sh2, ch_next = ch * ch2 + sh * sh2;
    s = s_next;
    c = c_next;
    sh = sh_next;
    ch = ch_next;
  }
  *easting = scale_ * rectifying_ * eta_sum;
  *northing = scale_ * rectifying_ * xi_sum;
}
