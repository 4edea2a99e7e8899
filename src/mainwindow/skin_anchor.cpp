// Keeps the skin library non-empty before its windows exist.
namespace skin {
int kAnchor = 0;
}
