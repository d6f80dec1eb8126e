// The program of a layer check: it only has to link (cmake/LayerCheck.cmake).
int main()
{
    return 0;
}
