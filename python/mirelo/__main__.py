from mirelo import main

main()
