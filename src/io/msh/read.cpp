// gmsh MSH files read into element runs: versions 2.2 and 4.1, ASCII and
// binary (either byte order), nodes numbered by tags that may be sparse or
// unordered.
#include <algorithm>
#include <climits>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "io/msh/kinds.h"
#include "io/shared/scanned_reader.h"

namespace ovk {
namespace quernfold {

namespace {

using detail::input_scan;
using detail::kMalformed;
using detail::kNotThisFormat;
using detail::mesh_output;

constexpr std::string_view kEntitiesVersion = "4.1";
// The integer 1 of a binary file written in the other byte order.
constexpr std::int32_t kSwappedOne = 0x01000000;
// Nodes of an element at most.
constexpr unsigned kMaxNodes = 27;
// Node tags up to this many times the node count (plus a margin) are
// looked up in a table indexed by tag; sparser tags by binary search.
constexpr std::uint64_t kDenseTagFactor = 4;
constexpr std::uint64_t kDenseTagMargin = 1024;
// Why records are left out.
constexpr char kUnknownType[] = "element type not read";
constexpr char kSectionNotRead[] = "section not read";
// Sections read elsewhere (the names by the whole-mesh layer) or that carry
// nothing to read.
constexpr std::string_view kQuietSections[] = {"PhysicalNames", "Comments"};

element_type kind_of(long long gmsh) {
  for (const detail::msh_kind& k : detail::kGmshKinds)
    if (k.gmsh == gmsh) return k.type;
  return ET_UNKNOWN;
}

// Numbers of a file: words in ASCII files; in binary ones 32-bit integers,
// unsigned integers of the file's size_t width and doubles.
class msh_numbers {
 public:
  explicit msh_numbers(input_scan& in) : in_(in) {}

  bool binary = false, swap = false;
  std::size_t size_width = sizeof(std::uint64_t);

  // Binary data starts after the line end of the line before it.
  bool begin_binary() {
    std::string_view rest;
    return !binary || (in_.line(rest) && detail::trimmed(rest).empty());
  }
  bool int32(long long& v) {
    if (!binary) return in_.number(v);
    std::int32_t w;
    if (!in_.binary(w, swap)) return false;
    v = w;
    return true;
  }
  bool size(std::uint64_t& v) {
    if (!binary) return in_.number(v);
    if (size_width == sizeof(std::uint64_t)) return in_.binary(v, swap);
    std::uint32_t w;
    if (!in_.binary(w, swap)) return false;
    v = w;
    return true;
  }
  bool real(double& v) { return binary ? in_.binary(v, swap) : in_.number(v); }
  input_scan& scan() { return in_; }

 private:
  input_scan& in_;
};

// Node tags to coordinate columns: the columns hold the nodes in ascending
// tag order.
class tag_map {
 public:
  // Sorts the nodes stored in `out` (tags[j] being the tag of column j) by
  // tag, and the tags with them. kMalformed when a tag repeats.
  int sort(mesh_output& out, dense1D<std::uint64_t>& tags) {
    const std::size_t n = tags.size();
    if (std::adjacent_find(tags.begin(), tags.end(), std::greater_equal<std::uint64_t>()) ==
        tags.end()) {  // ascending already: nothing moves
      if (!sorted_.resize(n)) return no_memory;
      std::copy(tags.begin(), tags.end(), sorted_.begin());
      return index();
    }
    dense1D<unsigned> order;
    dense2D<double> held;
    if (!order.resize(n) || !held.resize(3, n)) return no_memory;
    for (std::size_t j = 0; j < n; ++j) {
      order[j] = static_cast<unsigned>(j);
      std::copy(out.node(j), out.node(j) + 3, held.column(j));
    }
    std::sort(order.begin(), order.end(),
              [&](unsigned a, unsigned b) { return tags[a] < tags[b]; });
    if (!sorted_.resize(n)) return no_memory;
    for (std::size_t j = 0; j < n; ++j) {
      sorted_[j] = tags[order[j]];
      std::copy(held.column(order[j]), held.column(order[j]) + 3, out.node(j));
      if (j > 0 && sorted_[j] == sorted_[j - 1]) {
        out.fault_unplaced();  // a repeated tag: found after the section was read
        return kMalformed;
      }
    }
    std::copy(sorted_.begin(), sorted_.end(), tags.begin());
    return index();
  }

  // The column of `tag`, no_index when no node has it.
  unsigned column(std::uint64_t tag) const {
    if (sorted_.empty() || tag < sorted_[0]) return no_index;
    if (!dense_.empty())
      return tag - sorted_[0] < dense_.size() ? dense_[tag - sorted_[0]] : no_index;
    const std::uint64_t* at = std::lower_bound(sorted_.begin(), sorted_.end(), tag);
    return at != sorted_.end() && *at == tag ? static_cast<unsigned>(at - sorted_.begin())
                                             : no_index;
  }

 private:
  // The table by tag of the ascending tags in sorted_, when they are dense
  // enough.
  int index() {
    const std::size_t n = sorted_.size();
    dense_.clear();
    if (n == 0 || sorted_[n - 1] - sorted_[0] >= kDenseTagFactor * n + kDenseTagMargin) return 0;
    if (!dense_.resize(sorted_[n - 1] - sorted_[0] + 1, no_index)) return no_memory;
    for (std::size_t j = 0; j < n; ++j) dense_[sorted_[j] - sorted_[0]] = static_cast<unsigned>(j);
    return 0;
  }

  dense1D<std::uint64_t> sorted_;
  dense1D<unsigned> dense_;
};

// The name of the records of gmsh element type `gmsh`.
std::string type_record(long long gmsh) { return "gmsh type " + std::to_string(gmsh) + " element"; }

bool quiet_section(std::string_view name) {
  return std::find(std::begin(kQuietSections), std::end(kQuietSections), name) !=
         std::end(kQuietSections);
}

// The sections of one file, read into the outputs.
class msh_reader {
 public:
  msh_reader(msh_numbers& numbers, mesh_output& out) : num_(numbers), out_(out) {}

  bool legacy = false;

  // What a gmsh element type reads: its kind (ET_UNKNOWN for point elements
  // and types outside the model), the node tags of an element (0 for types
  // that are not read) and their order. The last type asked for is kept, as
  // elements come in long runs of one type.
  struct gmsh_type {
    long long gmsh = -1;
    element_type kind = ET_UNKNOWN;
    unsigned nodes = 0;
    const unsigned char* order = nullptr;
  };
  const gmsh_type& type_of(long long gmsh) { return describe(gmsh, type_); }
  // The type `gmsh` in `last`, which keeps the last type asked for.
  static const gmsh_type& describe(long long gmsh, gmsh_type& last) {
    if (gmsh == last.gmsh) return last;
    last.gmsh = gmsh;
    last.kind = kind_of(gmsh);
    last.nodes = gmsh == detail::kGmshPoint ? 1
                 : last.kind == ET_UNKNOWN  ? 0
                                            : nbr_nodes(last.kind);
    last.order = detail::order_of(detail::kGmshOrders, last.kind);
    return last;
  }

  // One element with node tags `tags`, reference `ref` and entity tag
  // `entity`; point elements are left out.
  int element(const gmsh_type& type, const std::uint64_t* tags, unsigned ref, unsigned entity) {
    if (type.kind == ET_UNKNOWN) return 0;
    unsigned column[kMaxNodes];
    if (!columns_of(type, tags, column)) return kMalformed;
    return out_.add_element(type.kind, column, type.nodes, ref) &&
                   out_.add_entity(entity, physical_)
               ? 0
               : no_memory;
  }

  // The node columns of an element of a known kind, in the library's order;
  // false when a tag names no node.
  bool columns_of(const gmsh_type& type, const std::uint64_t* tags, unsigned* column) const {
    unsigned file[kMaxNodes];
    for (unsigned k = 0; k < type.nodes; ++k) {
      file[k] = tags_.column(tags[k]);
      if (file[k] == no_index) return false;
    }
    detail::reorder(file, column, type.order, type.nodes);
    return true;
  }

  // "$Nodes" of version 2: a count, then tag x y z per node.
  int nodes_v2() {
    std::uint64_t count;
    if (!num_.scan().number(count) || !num_.begin_binary()) return kMalformed;
    if (node_list(count, 1, 0)) return tags_.sort(out_, tags_read_);
    for (std::uint64_t i = 0; i < count; ++i) {
      long long tag;
      if (!num_.int32(tag) || tag < 0) return kMalformed;
      const int code = node(static_cast<std::uint64_t>(tag));
      if (code < 0) return code;
    }
    return tags_.sort(out_, tags_read_);
  }

  // "$Nodes" of version 4.1: blocks of node tags, then their coordinates
  // (and parametric coordinates, which are skipped).
  int nodes_v4() {
    std::uint64_t blocks, count, first, last, in_block;
    if (!num_.begin_binary() || !num_.size(blocks) || !num_.size(count) || !num_.size(first) ||
        !num_.size(last))
      return kMalformed;
    for (std::uint64_t b = 0; b < blocks; ++b) {
      long long dim, entity, parametric;
      if (!num_.int32(dim) || !num_.int32(entity) || !num_.int32(parametric) ||
          !num_.size(in_block))
        return kMalformed;
      const std::size_t start = tags_read_.size();
      for (std::uint64_t i = node_list(in_block, 1, kNoCoordinates) ? in_block : 0; i < in_block;
           ++i) {
        std::uint64_t tag;
        if (!num_.size(tag)) return kMalformed;
        if (!tags_read_.push_back(tag)) return no_memory;
      }
      const unsigned extra = parametric && (dim == 1 || dim == 2) ? static_cast<unsigned>(dim) : 0;
      for (std::uint64_t i = node_list(in_block, 0, extra) ? in_block : 0; i < in_block; ++i) {
        const int code = coordinates(extra);
        if (code < 0) return code;
      }
      if (out_.nodes() != start + in_block) return kMalformed;
    }
    return tags_.sort(out_, tags_read_);
  }

  // "$Entities" of version 4.1: the first physical tag of every entity.
  int entities() {
    std::uint64_t counts[4], n;
    double skipped;
    if (!num_.begin_binary()) return kMalformed;
    for (std::uint64_t& c : counts)
      if (!num_.size(c)) return kMalformed;
    for (unsigned dim = 0; dim < 4; ++dim) {
      for (std::uint64_t e = 0; e < counts[dim]; ++e) {
        long long tag, phys = 0, value;
        if (!num_.int32(tag)) return kMalformed;
        for (unsigned k = 0; k < (dim == 0 ? 3u : 6u); ++k)
          if (!num_.real(skipped)) return kMalformed;
        if (!num_.size(n)) return kMalformed;
        for (std::uint64_t k = 0; k < n; ++k) {
          if (!num_.int32(value)) return kMalformed;
          if (k == 0) phys = value;
        }
        if (n > 0 && (!entity_keys_.push_back(key(dim, tag)) ||
                      !entity_refs_.push_back(static_cast<unsigned>(phys))))
          return no_memory;
        if (dim == 0) continue;
        if (!num_.size(n)) return kMalformed;
        for (std::uint64_t k = 0; k < n; ++k)
          if (!num_.int32(value)) return kMalformed;
      }
    }
    return 0;
  }

  // "$PartitionedEntities" of version 4.1: the first partition of every
  // partitioned entity, which becomes the reference of its elements.
  int partitioned_entities() {
    std::uint64_t parts, ghosts, counts[4], n;
    long long tag, value;
    double skipped;
    if (!num_.begin_binary() || !num_.size(parts) || !num_.size(ghosts)) return kMalformed;
    for (std::uint64_t g = 0; g < 2 * ghosts; ++g)
      if (!num_.int32(value)) return kMalformed;
    for (std::uint64_t& c : counts)
      if (!num_.size(c)) return kMalformed;
    for (unsigned dim = 0; dim < 4; ++dim) {
      for (std::uint64_t e = 0; e < counts[dim]; ++e) {
        long long partition = 0;
        if (!num_.int32(tag) || !num_.int32(value) || !num_.int32(value) || !num_.size(n))
          return kMalformed;
        for (std::uint64_t k = 0; k < n; ++k) {
          if (!num_.int32(value)) return kMalformed;
          if (k == 0) partition = value;
        }
        for (unsigned k = 0; k < (dim == 0 ? 3u : 6u); ++k)
          if (!num_.real(skipped)) return kMalformed;
        for (unsigned list = 0; list < (dim == 0 ? 1u : 2u); ++list) {
          if (!num_.size(n)) return kMalformed;
          for (std::uint64_t k = 0; k < n; ++k)
            if (!num_.int32(value)) return kMalformed;
        }
        if (!partition_keys_.push_back(key(dim, tag)) ||
            !partition_refs_.push_back(static_cast<unsigned>(partition)))
          return no_memory;
      }
    }
    return 0;
  }

  // "$Elements" of version 2 in ASCII: one line per element, "number type
  // tag-count tags... nodes..."; lines of other types are skipped.
  int elements_v2_ascii() {
    std::uint64_t count;
    input_scan& in = num_.scan();
    if (!in.number(count)) return kMalformed;
    const int listed = legacy_element_list(count);
    if (listed != 0) return listed < 0 ? listed : 0;
    for (std::uint64_t i = 0; i < count; ++i) {
      long long number, gmsh, ntags, tag;
      long long refs[2] = {0, 0};
      if (!in.number(number) || !in.number(gmsh) || !in.number(ntags) || ntags < 0)
        return kMalformed;
      for (long long k = 0; k < ntags; ++k) {
        if (!in.number(tag)) return kMalformed;
        if (k < 2) refs[k] = tag;
      }
      physical_ = refs[0] != 0;
      const gmsh_type& type = type_of(gmsh);
      std::string_view rest;
      if (type.nodes == 0) {
        in.line(rest);
        out_.left_out(type_record(gmsh), kUnknownType);
        continue;
      }
      const int code = element_nodes(type, legacy_ref(refs), static_cast<unsigned>(refs[1]));
      if (code < 0) return code;
    }
    return 0;
  }

  // "$Elements" of version 2 in binary: blocks of one type, each a header
  // (type, elements, tag count) and per element its number, tags and
  // nodes.
  int elements_v2_binary() {
    std::uint64_t count;
    if (!num_.scan().number(count) || !num_.begin_binary()) return kMalformed;
    for (std::uint64_t read = 0; read < count;) {
      long long gmsh, in_block, ntags, value;
      if (!num_.int32(gmsh) || !num_.int32(in_block) || !num_.int32(ntags) || in_block < 0 ||
          ntags < 0)
        return kMalformed;
      const gmsh_type& type = type_of(gmsh);
      if (type.nodes == 0) return kMalformed;
      for (long long e = 0; e < in_block; ++e, ++read) {
        long long refs[2] = {0, 0};
        if (!num_.int32(value)) return kMalformed;
        for (long long k = 0; k < ntags; ++k) {
          if (!num_.int32(value)) return kMalformed;
          if (k < 2) refs[k] = value;
        }
        physical_ = refs[0] != 0;
        const int code = element_nodes(type, legacy_ref(refs), static_cast<unsigned>(refs[1]));
        if (code < 0) return code;
      }
    }
    return 0;
  }

  // "$Elements" of version 4.1: blocks of one entity and type, each element
  // its tag and node tags; the reference of a block is its entity's first
  // physical tag, or the entity tag when it has none. Blocks of other types
  // are skipped in ASCII files and refused in binary ones.
  int elements_v4() {
    std::uint64_t blocks, count, first, last, in_block;
    if (!num_.begin_binary() || !num_.size(blocks) || !num_.size(count) || !num_.size(first) ||
        !num_.size(last))
      return kMalformed;
    for (std::uint64_t b = 0; b < blocks; ++b) {
      long long dim, entity, gmsh;
      if (!num_.int32(dim) || !num_.int32(entity) || !num_.int32(gmsh) || !num_.size(in_block))
        return kMalformed;
      const gmsh_type& type = type_of(gmsh);
      std::string_view rest;
      if (type.nodes == 0 && num_.binary) return kMalformed;
      if (type.nodes == 0) {
        for (std::uint64_t e = 0; e <= in_block; ++e)
          if (!num_.scan().line(rest)) return kMalformed;
        out_.left_out(type_record(gmsh), kUnknownType, in_block);
        continue;
      }
      const unsigned ref = entity_ref(dim, entity, physical_);
      const int listed = element_list(in_block, type, ref, static_cast<unsigned>(entity));
      if (listed < 0) return listed;
      for (std::uint64_t e = listed ? in_block : 0; e < in_block; ++e) {
        std::uint64_t tag;
        if (!num_.size(tag)) return kMalformed;
        const int code = element_nodes(type, ref, static_cast<unsigned>(entity));
        if (code < 0) return code;
      }
    }
    return 0;
  }

 private:
  // Record lists of a text held whole, parsed on several threads. Each list
  // is one record per line; a list laid out otherwise, or with any record that
  // one thread would refuse, is left for the one-thread loop, which reads it
  // again from its start and so reports the same code. The functions return
  // true when they read the whole list.

  // An element list read whole.
  static constexpr int kListed = 1;
  // `extra` of node_list for a list of tags alone (version 4.1).
  static constexpr unsigned kNoCoordinates = ~0u;

  // The cursor at the first record of a list of `count` lines, split for
  // the threads; false when the list is read on one thread.
  bool split(std::uint64_t count, std::vector<detail::line_chunk>& chunks) {
    input_scan& in = num_.scan();
    if (num_.binary || !detail::parallel_list(in.threads(), count)) return false;
    in.skip_blanks();
    return detail::split_lines(in.threads(), in.cursor(), in.held_end(), count,
                               detail::kChunksPerThread * in.threads(), chunks);
  }
  // Moves the cursor past the lines of the chunks.
  void pass(const std::vector<detail::line_chunk>& chunks) {
    input_scan& in = num_.scan();
    in.advance(static_cast<std::size_t>(chunks.back().end - in.cursor()));
  }

  // `count` lines of `tags` node tags (0 or 1; version 2: an int32 >= 0,
  // version 4.1: a size) then, unless extra is kNoCoordinates, x y z and
  // `extra` skipped numbers. The tags are appended to tags_read_, the
  // coordinates to the outputs.
  bool node_list(std::uint64_t count, unsigned tags, unsigned extra) {
    std::vector<detail::line_chunk> chunks;
    if (!split(count, chunks)) return false;
    const std::size_t tag0 = tags_read_.size(), node0 = out_.nodes();
    const bool coordinates = extra != kNoCoordinates;
    if ((tags && !tags_read_.resize(tag0 + count)) ||
        (coordinates && (!out_.node_rows(3) || !out_.add_nodes(count)))) {
      tags_read_.resize(tag0);
      return false;
    }
    const bool taken =
        detail::parse_chunks(num_.scan().threads(), chunks,
                             [&](std::size_t, const char* b, const char* e, std::size_t i) {
                               detail::line_words words(b, e);
                               if (tags && !line_tag(words, tags_read_[tag0 + i])) return false;
                               if (!coordinates) return words.done();
                               double* x = out_.node(node0 + i);
                               double skipped;
                               for (unsigned k = 0; k < 3; ++k)
                                 if (!input_scan::number(words, x[k])) return false;
                               for (unsigned k = 0; k < extra; ++k)
                                 if (!input_scan::number(words, skipped)) return false;
                               return words.done();
                             });
    if (!taken) {
      tags_read_.resize(tag0);
      out_.drop_nodes(node0);
      return false;
    }
    pass(chunks);
    return true;
  }

  // A node tag as num_ reads it.
  bool line_tag(detail::line_words& words, std::uint64_t& tag) const {
    if (!legacy) return input_scan::number(words, tag);
    long long v;
    if (!input_scan::number(words, v) || v < 0) return false;
    tag = static_cast<std::uint64_t>(v);
    return true;
  }

  // The node tags of one element on a line, as element_nodes reads them.
  bool line_element(detail::line_words& words, const gmsh_type& type, std::uint64_t* tags) const {
    for (unsigned k = 0; k < type.nodes; ++k)
      if (!line_tag(words, tags[k])) return false;
    return true;
  }

  // Version 4.1: `count` lines "tag node-tags..." of one known type, parsed
  // into the element columns where they stay.
  // Returns kListed, 0 (not read, the cursor where it was) or no_memory.
  int element_list(std::uint64_t count, const gmsh_type& type, unsigned ref, unsigned entity) {
    std::vector<detail::line_chunk> chunks;
    if (type.kind == ET_UNKNOWN || !split(count, chunks) || !out_.element_room(type.nodes, count))
      return 0;
    const std::size_t first = out_.elements(), rows = out_.element_rows();
    const bool taken = detail::parse_chunks(
        num_.scan().threads(), chunks,
        [&](std::size_t, const char* b, const char* e, std::size_t i) {
          detail::line_words words(b, e);
          std::uint64_t tag, tags[kMaxNodes];
          unsigned* column = out_.element_column(first + i);
          if (!input_scan::number(words, tag) || !line_element(words, type, tags) ||
              !words.done() || !columns_of(type, tags, column))
            return false;
          std::fill(column + type.nodes, column + rows, no_index);
          return true;
        });
    if (!taken) return 0;
    if (!out_.add_written(type.kind, count, ref) || !out_.add_entity(entity, physical_, count))
      return no_memory;
    pass(chunks);
    return kListed;
  }

  // Version 2 in ASCII: `count` lines "number type tag-count tags...
  // nodes...", each chunk's elements gathered apart and joined in order;
  // returns as element_list does.
  int legacy_element_list(std::uint64_t count) {
    std::vector<detail::line_chunk> chunks;
    if (!split(count, chunks)) return 0;
    std::vector<legacy_chunk> parts(chunks.size());
    const bool taken =
        detail::parse_chunks(num_.scan().threads(), chunks,
                             [&](std::size_t c, const char* b, const char* e, std::size_t) {
                               return parse_legacy_line(b, e, parts[c]);
                             });
    if (!taken) return 0;
    for (const legacy_chunk& part : parts) {
      for (std::size_t k = 0, at = 0; k < part.kinds.size(); at += nbr_nodes(part.kinds[k]), ++k)
        if (!out_.add_element(part.kinds[k], part.columns.data() + at, nbr_nodes(part.kinds[k]),
                              part.refs[k]) ||
            !out_.add_entity(part.entities[k], part.physical[k]))
          return no_memory;
      for (long long gmsh : part.unknown) out_.left_out(type_record(gmsh), kUnknownType);
    }
    pass(chunks);
    return kListed;
  }

  // The elements of one chunk of a version-2 list.
  struct legacy_chunk {
    std::vector<long long> unknown;  // the types of the lines left out
    std::vector<element_type> kinds;
    std::vector<unsigned> refs, entities, columns;
    std::vector<char> physical;  // per element: its reference is a physical tag
    msh_reader::gmsh_type type;
  };

  bool parse_legacy_line(const char* b, const char* e, legacy_chunk& part) const {
    detail::line_words words(b, e);
    long long number, gmsh, ntags, tag;
    long long refs[2] = {0, 0};
    if (!input_scan::number(words, number) || !input_scan::number(words, gmsh) ||
        !input_scan::number(words, ntags) || ntags < 0)
      return false;
    for (long long k = 0; k < ntags; ++k) {
      if (!input_scan::number(words, tag)) return false;
      if (k < 2) refs[k] = tag;
    }
    const gmsh_type& type = describe(gmsh, part.type);
    if (type.nodes == 0) {  // the rest of the line is skipped
      part.unknown.push_back(gmsh);
      return true;
    }
    std::uint64_t tags[kMaxNodes];
    if (!line_element(words, type, tags) || !words.done()) return false;
    if (type.kind == ET_UNKNOWN) return true;
    unsigned column[kMaxNodes];
    if (!columns_of(type, tags, column)) return false;
    part.kinds.push_back(type.kind);
    part.refs.push_back(legacy_ref(refs));
    part.entities.push_back(static_cast<unsigned>(refs[1]));
    part.physical.push_back(refs[0] != 0);
    part.columns.insert(part.columns.end(), column, column + type.nodes);
    return true;
  }

  // One node of a version-2 file: x y z.
  int node(std::uint64_t tag) {
    if (!tags_read_.push_back(tag)) return no_memory;
    return coordinates(0);
  }

  // x y z and `extra` numbers that are skipped.
  int coordinates(unsigned extra) {
    double x[3], skipped;
    for (double& v : x)
      if (!num_.real(v)) return kMalformed;
    for (unsigned k = 0; k < extra; ++k)
      if (!num_.real(skipped)) return kMalformed;
    if (!out_.node_rows(3)) return kMalformed;
    double* column = out_.add_node();
    if (!column) return no_memory;
    std::copy(x, x + 3, column);
    return 0;
  }

  // The node tags of one element, then the element.
  int element_nodes(const gmsh_type& type, unsigned ref, unsigned entity) {
    std::uint64_t tags[kMaxNodes];
    for (unsigned k = 0; k < type.nodes; ++k) {
      long long v = 0;
      if (!legacy && !num_.size(tags[k])) return kMalformed;
      if (legacy && (!num_.int32(v) || v < 0)) return kMalformed;
      if (legacy) tags[k] = static_cast<std::uint64_t>(v);
    }
    return element(type, tags, ref, entity);
  }

  // Version 2: the physical tag (first tag), or the elementary tag (second)
  // when the physical one is 0 or absent.
  static unsigned legacy_ref(const long long (&refs)[2]) {
    return static_cast<unsigned>(refs[0] != 0 ? refs[0] : refs[1]);
  }

  static std::int64_t key(long long dim, long long tag) {
    return static_cast<std::int64_t>(dim) << 32 | static_cast<std::uint32_t>(tag);
  }
  // The reference of the elements of an entity; `physical` tells whether it
  // is a physical tag or partition rather than the entity tag.
  unsigned entity_ref(long long dim, long long tag, bool& physical) const {
    physical = true;
    for (std::size_t k = 0; k < partition_keys_.size(); ++k)
      if (partition_keys_[k] == key(dim, tag)) return partition_refs_[k];
    for (std::size_t k = 0; k < entity_keys_.size(); ++k)
      if (entity_keys_[k] == key(dim, tag)) return entity_refs_[k];
    physical = false;
    return static_cast<unsigned>(tag);
  }

  msh_numbers& num_;
  mesh_output& out_;
  dense1D<std::uint64_t> tags_read_;
  tag_map tags_;
  dense1D<std::int64_t> entity_keys_;
  dense1D<unsigned> entity_refs_;
  dense1D<std::int64_t> partition_keys_;
  dense1D<unsigned> partition_refs_;
  gmsh_type type_;
  // Whether the reference of the elements being read is a physical tag.
  bool physical_ = false;
};

// "$MeshFormat": version, file type (0 ASCII, 1 binary) and size_t width;
// a binary file then holds the integer 1 in its byte order.
int read_format(input_scan& in, msh_numbers& numbers, bool& legacy) {
  std::string_view w;
  long long file_type, width;
  if (!in.word(w) || w != "$MeshFormat" || !in.word(w)) return kNotThisFormat;
  legacy = w.substr(0, 2) == "2." || w == "2";
  if (!legacy && w != kEntitiesVersion) return kNotThisFormat;
  if (!in.number(file_type) || !in.number(width) || file_type < 0 || file_type > 1)
    return kMalformed;
  if (width != sizeof(std::uint32_t) && width != sizeof(std::uint64_t)) return kMalformed;
  numbers.size_width = static_cast<std::size_t>(width);
  if (file_type == 1) {
    std::int32_t one;
    numbers.binary = true;
    if (!numbers.begin_binary() || !in.binary(one, false)) return kMalformed;
    numbers.swap = one != 1;
    if (numbers.swap && one != kSwappedOne) return kMalformed;
  }
  return in.word(w) && w == "$EndMeshFormat" ? 0 : kMalformed;
}

int read_core(input_scan& in, mesh_output& out) {
  msh_numbers numbers(in);
  msh_reader reader(numbers, out);
  int code = read_format(in, numbers, reader.legacy);
  if (numbers.binary) out.fault_unplaced();
  std::string_view w;
  while (code == 0 && in.word(w)) {
    if (w[0] != '$') return kMalformed;
    // The word lasts only until the scan reads on: keep "$End" + its name.
    char end_mark[input_scan::kMaxWord + 4] = "$End";
    const std::string_view name(end_mark + 4, w.copy(end_mark + 4, w.size() - 1, 1));
    const std::string_view end(end_mark, name.size() + 4);
    if (name == "Nodes") {
      code = reader.legacy ? reader.nodes_v2() : reader.nodes_v4();
    } else if (name == "Elements") {
      code = !reader.legacy   ? reader.elements_v4()
             : numbers.binary ? reader.elements_v2_binary()
                              : reader.elements_v2_ascii();
    } else if (name == "Entities" && !reader.legacy) {
      code = reader.entities();
    } else if (name == "PartitionedEntities" && !reader.legacy) {
      code = reader.partitioned_entities();
    } else {
      if (!quiet_section(name)) out.left_out("$" + std::string(name) + " section", kSectionNotRead);
      if (!in.skip_past(end)) return kMalformed;
      continue;
    }
    if (code == 0 && (!in.word(w) || w != end)) code = kMalformed;
  }
  return code;
}

}  // namespace

QUERNFOLD_SCANNED_READER(msh_input, read_core)

}  // namespace quernfold
}  // namespace ovk
