// Square complex matrix products with packing buffers kept between calls (see matrix_product.hpp).
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/matrix_product.hpp"

namespace velmorant {

namespace {

using Scalar = std::complex<float>;
using Matrix = Eigen::Matrix<Scalar, Eigen::Dynamic, Eigen::Dynamic>;
// The blocking and the kernel Eigen's product of two dynamic column-major
// complex float matrices into a third uses (GeneralMatrixMatrix.h, Eigen 3.4).
using BlockingSpace =
    Eigen::internal::gemm_blocking_space<Eigen::ColMajor, Scalar, Scalar, Eigen::Dynamic,
                                         Eigen::Dynamic, Eigen::Dynamic>;
using Gemm = Eigen::internal::general_matrix_matrix_product<Eigen::Index, Scalar, Eigen::ColMajor,
                                                            false, Scalar, Eigen::ColMajor, false,
                                                            Eigen::ColMajor, 1>;

// Orders Eigen multiplies by the blocked kernel: it takes the coefficient-based
// product below EIGEN_GEMM_TO_COEFFBASED_THRESHOLD (sum of the three
// dimensions) and a matrix-vector product for order 1.
bool blocked(int order) { return order > 1 && 3 * order >= EIGEN_GEMM_TO_COEFFBASED_THRESHOLD; }

}  // namespace

struct SquareProduct::Blocking {
  // One thread, l3 blocking: the arguments Eigen's product passes for its own.
  explicit Blocking(int order) : space(order, order, order, 1, true) { space.allocateAll(); }
  BlockingSpace space;
};

SquareProduct::SquareProduct(int order)
    : order_(order), blocking_(blocked(order) ? std::make_unique<Blocking>(order) : nullptr) {}
SquareProduct::~SquareProduct() = default;
SquareProduct::SquareProduct(SquareProduct&&) noexcept = default;
SquareProduct& SquareProduct::operator=(SquareProduct&&) noexcept = default;

std::size_t SquareProduct::buffer_bytes() const {
  if (!blocking_) return 0;
  const auto& b = blocking_->space;
  return std::size_t(b.kc()) * std::size_t(b.mc() + b.nc()) * sizeof(Scalar);
}

void SquareProduct::operator()(const Matrix& lhs, const Matrix& rhs, Matrix& dst) {
  const Eigen::Index n = order_;
  if (!blocking_ || lhs.rows() != n || lhs.cols() != n || rhs.rows() != n || rhs.cols() != n ||
      dst.rows() != n || dst.cols() != n) {
    dst.noalias() = lhs * rhs;
    return;
  }
  // What `dst.noalias() = lhs * rhs` does for these shapes: clear, then add
  // 1 * lhs * rhs through the blocked kernel.
  dst.setZero();
  Gemm::run(n, n, n, lhs.data(), lhs.outerStride(), rhs.data(), rhs.outerStride(), dst.data(),
            dst.innerStride(), dst.outerStride(), Scalar(1), blocking_->space, nullptr);
}

}  // namespace velmorant
