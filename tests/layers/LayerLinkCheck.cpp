// Linked with one library whole and nothing but what that library declares, this program
// links only while the library calls nothing above its own layer.
int main() {
    return 0;
}
