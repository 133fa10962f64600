// The file-name forms of the text readers on several threads, which the
// format table calls: with 1 thread each is its reader's own file-name form;
// with more, the text is read whole and its long record lists parsed in
// chunks, every output and code the same as with 1.
#pragma once

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

int stl_read_file(const char* name, unsigned threads, dense2D<double>& coords,
                  dense2D<unsigned>& connectM);
int obj_read_file(const char* name, unsigned threads, dense2D<double>& coords, dense2D<double>& uv,
                  dense2D<double>& normals, dense2D<unsigned>& connectM_tria,
                  dense2D<unsigned>& connectM_quad);
int msh_read_file(const char* name, unsigned threads, dense2D<double>& coords,
                  dense2D<unsigned>& connectM, dense1D<unsigned>& bounds, dense1D<int>& types,
                  dense1D<unsigned>& refs);
int vtk_read_file(const char* name, unsigned threads, dense2D<double>& coords,
                  dense2D<unsigned>& connectM, dense1D<unsigned>& bounds, dense1D<int>& types,
                  dense1D<unsigned>& refs);
int medit_read_file(const char* name, unsigned threads, dense2D<double>& coords,
                    dense2D<unsigned>& connectM, dense1D<unsigned>& bounds, dense1D<int>& types,
                    dense1D<unsigned>& refs);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
