// Writes a generated text of about SIZE bytes with a vocabulary of VOCABULARY
// distinct words, drawn with a fixed seed so that every run makes the same file:
//   make_corpus OUT SIZE VOCABULARY
// Word frequencies follow Zipf's law, as in natural text; lines are about 70
// columns wide and carry some punctuation.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_corpus OUT SIZE VOCABULARY\n");
    return 2;
  }
  const unsigned long long size = std::strtoull(argv[2], nullptr, 10);
  const std::size_t vocabulary = std::strtoull(argv[3], nullptr, 10);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || vocabulary == 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::mt19937_64 random(20261207);
  std::vector<std::string> words(vocabulary);
  for (std::size_t i = 0; i < vocabulary; ++i) {
    // Distinct by construction: the index in base 26, padded with random letters.
    std::string word;
    for (std::size_t n = i; word.empty() || n > 0; n /= 26) word.push_back(char('a' + n % 26));
    const std::size_t extra = random() % 6;
    word.push_back('q');  // ends the index part, so padding cannot collide
    for (std::size_t k = 0; k < extra; ++k) word.push_back(char('a' + random() % 26));
    if (random() % 8 == 0) word[0] = char(word[0] - 'a' + 'A');
    words[i] = word;
  }
  // Zipf over ranks: rank r drawn with weight 1 / (r + 1), by inverting the
  // cumulative weight (approximately, through the logarithm).
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  const double log_v = std::log(static_cast<double>(vocabulary) + 1.0);
  std::string buffer;
  unsigned long long written = 0;
  std::size_t column = 0;
  while (written < size) {
    const auto rank = static_cast<std::size_t>(std::exp(uniform(random) * log_v)) - 1;
    const std::string& word = words[rank < vocabulary ? rank : vocabulary - 1];
    buffer += word;
    const unsigned r = static_cast<unsigned>(random() % 20);
    if (r == 0) buffer += ',';
    if (r == 1) buffer += '.';
    column += word.size() + 1;
    if (column > 70) {
      buffer += '\n';
      column = 0;
    } else {
      buffer += ' ';
    }
    if (buffer.size() > (1 << 16)) {
      std::fwrite(buffer.data(), 1, buffer.size(), out);
      written += buffer.size();
      buffer.clear();
    }
  }
  std::fwrite(buffer.data(), 1, buffer.size(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
