// Counts the guest instructions an emulated run executes, from QEMU's log
// (QEMU_LOG=in_asm,exec,nochain): each "IN:" block lists a translation block's
// instructions when it is translated, and each "Trace" line is one execution
// of a block. A block's instruction count times its executions, summed, is the
// number of guest instructions executed (in the address range the log was
// filtered to).
//
//   tb_count [--marks FILE] [--reset-at PC] [LOG]
//
// reads LOG (a FIFO, typically) or standard input, up to its end or a line
// starting with "#end". FILE holds lines "pc label" (pc in hexadecimal): each
// execution of a block starting at a marked pc switches the current label
// (e.g. at a stage's entry function), and every execution counts for the label
// current at the time; before the first mark the label is "-". Prints one line
// "label pc instructions executions" (pc in hexadecimal) per block start and
// label, in pc order, and a last line "total INSTRUCTIONS EXECUTIONS
// UNMATCHED" (executions of blocks whose translation was never seen; 0 in a
// sound log). Marks assume one thread executes in the range at a time.
// --reset-at PC (hexadecimal) drops everything counted so far whenever a
// block starting at PC executes: given a function's entry, the counts are
// those of its last call and what followed it.
//
// A block is known by its host code address, which the first "Trace" line after
// its "IN:" block gives; a block retranslated after a flush may reuse an
// address, and then takes it over.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>

namespace {

constexpr int max_labels = 32;

struct block_count {
  uint64_t pc = 0;
  uint64_t instructions = 0;  // per execution
  uint64_t executions[max_labels] = {};
};

struct pc_total {
  uint64_t instructions = 0;
  uint64_t executions = 0;
};

std::unordered_map<uint64_t, block_count> blocks;  // by host code address
std::unordered_map<uint64_t, uint64_t> pending;    // pc -> size of an unbound IN: block
std::unordered_map<uint64_t, uint64_t> last_size;  // pc -> size of its last IN: block
std::map<std::pair<uint64_t, int>, pc_total> totals;  // by pc and label
uint64_t unmatched = 0;
uint64_t reset_pc = ~uint64_t(0);
std::unordered_map<uint64_t, int> marks;  // pc -> label index
std::string labels[max_labels] = {"-"};
int label_count = 1;
int current_label = 0;

void retire(const block_count& b) {
  for (int l = 0; l < label_count; ++l) {
    if (b.executions[l] == 0) continue;
    pc_total& t = totals[{b.pc, l}];
    t.instructions += b.instructions * b.executions[l];
    t.executions += b.executions[l];
  }
}

bool read_marks(const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  char name[256];
  unsigned long long pc;
  while (std::fscanf(f, "%llx %255s", &pc, name) == 2) {
    int l = 0;
    while (l < label_count && labels[l] != name) ++l;
    if (l == label_count) {
      if (label_count == max_labels) break;
      labels[label_count++] = name;
    }
    marks[pc] = l;
  }
  std::fclose(f);
  return true;
}

uint64_t parse_hex(const char*& p) {
  uint64_t v = 0;
  for (;;) {
    const char c = *p;
    if (c >= '0' && c <= '9') v = v * 16 + uint64_t(c - '0');
    else if (c >= 'a' && c <= 'f') v = v * 16 + uint64_t(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') v = v * 16 + uint64_t(c - 'A' + 10);
    else return v;
    ++p;
  }
}

// "Trace 0: 0x7f726fe00280 [00000000/0000000000401005/1040c0b3/00000200] ..."
void trace_line(const char* p) {
  p = std::strstr(p, "0x");
  if (!p) return;
  p += 2;
  const uint64_t host = parse_hex(p);
  p = std::strchr(p, '/');
  if (!p) return;
  ++p;
  const uint64_t pc = parse_hex(p);
  auto it = blocks.find(host);
  if (it == blocks.end() || it->second.pc != pc || pending.count(pc)) {
    auto pend = pending.find(pc);
    uint64_t size;
    if (pend != pending.end()) {
      size = pend->second;
      pending.erase(pend);
    } else {
      auto last = last_size.find(pc);
      if (last == last_size.end()) {
        ++unmatched;
        return;
      }
      size = last->second;
    }
    if (it != blocks.end()) retire(it->second);
    block_count& b = blocks[host];
    b = block_count();
    b.pc = pc;
    b.instructions = size;
    it = blocks.find(host);
  }
  if (pc == reset_pc) {
    totals.clear();
    for (auto& b : blocks) std::memset(b.second.executions, 0, sizeof b.second.executions);
    unmatched = 0;
  }
  if (!marks.empty()) {
    auto m = marks.find(pc);
    if (m != marks.end()) current_label = m->second;
  }
  ++it->second.executions[current_label];
}

}  // namespace

int main(int argc, char** argv) {
  FILE* in = stdin;
  int a = 1;
  if (a + 1 < argc && std::strcmp(argv[a], "--marks") == 0) {
    if (!read_marks(argv[a + 1])) {
      std::perror(argv[a + 1]);
      return 2;
    }
    a += 2;
  }
  if (a + 1 < argc && std::strcmp(argv[a], "--reset-at") == 0) {
    reset_pc = std::strtoull(argv[a + 1], nullptr, 16);
    a += 2;
  }
  if (argc > a + 1 || (a < argc && argv[a][0] == '-')) {
    std::fprintf(stderr, "usage: tb_count [--marks FILE] [LOG]\n");
    return 2;
  }
  if (a < argc && !(in = std::fopen(argv[a], "r"))) {
    std::perror(argv[a]);
    return 2;
  }
  static char line[4096];
  bool in_block = false;
  uint64_t block_pc = 0, block_size = 0;
  while (std::fgets(line, sizeof line, in)) {
    const char c = line[0];
    if (c == 'T') {
      trace_line(line);
    } else if (c == '0' && line[1] == 'x') {
      if (in_block) {
        const char* p = line + 2;
        const uint64_t pc = parse_hex(p);
        if (block_size == 0) block_pc = pc;
        ++block_size;
      }
    } else if (c == 'I' && std::strncmp(line, "IN:", 3) == 0) {
      in_block = true;
      block_size = 0;
    } else if (c == '\n' || c == '-') {
      if (in_block && block_size) {
        pending[block_pc] = block_size;
        last_size[block_pc] = block_size;
      }
      in_block = false;
    } else if (c == '#' && std::strncmp(line, "#end", 4) == 0) {
      break;
    }
    // A line longer than the buffer: skip its rest.
    if (!std::strchr(line, '\n')) {
      int ch;
      while ((ch = std::fgetc(in)) != EOF && ch != '\n') {
      }
    }
  }
  for (const auto& b : blocks) retire(b.second);
  uint64_t sum = 0, executions = 0;
  for (const auto& t : totals) {
    std::printf("%s %" PRIx64 " %" PRIu64 " %" PRIu64 "\n", labels[t.first.second].c_str(),
                t.first.first, t.second.instructions, t.second.executions);
    sum += t.second.instructions;
    executions += t.second.executions;
  }
  std::printf("total %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", sum, executions, unmatched);
  return 0;
}
